#include "files/secret_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace vantry {
namespace {

// A load from a pipe over-allocates its block and cuts it back: the tail it gives up held
// plain text and stays in the allocation, which is later freed or handed to the host.
TEST(SecretBlock, ShrinkWipesTheTailItGivesUp) {
  SecretBlock block(4096);
  std::memset(block.data(), 0xA5, 4096);
  block.Shrink(100);
  EXPECT_EQ(block.size(), 100);
  EXPECT_TRUE(std::all_of(block.data(), block.data() + 100, [](unsigned char b) { return b == 0xA5; }));
  EXPECT_TRUE(std::all_of(block.data() + 100, block.data() + 4096, [](unsigned char b) { return b == 0; }))
      << "SECURITY.md: plain text does not linger in freed memory";
}

}  // namespace
}  // namespace vantry
