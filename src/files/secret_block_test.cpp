#include "files/secret_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vantry {
namespace {

// A load from a pipe over-allocates its block and cuts it back: the tail held plain text.
TEST(SecretBlock, ShrinkWipesTheTailItGivesUp) {
  SecretBlock block(4096);
  std::memset(block.data(), 0xA5, 4096);
  block.Shrink(100);
  EXPECT_EQ(std::vector<unsigned char>(block.data() + 100, block.data() + 4096),
            std::vector<unsigned char>(3996, 0))
      << "SECURITY.md: plain text does not linger in freed memory";
}

}  // namespace
}  // namespace vantry
