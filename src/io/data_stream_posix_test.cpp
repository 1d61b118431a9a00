// A memory stream whose block cannot grow. realloc is made to fail through the linker's
// --wrap=realloc, which the io tests are linked with on Linux.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "io/data_stream.h"
#include "support/test_support.h"

#ifdef VANTRY_IO_REALLOC_WRAPPED

namespace {
int g_failRealloc = 0;
}  // namespace

extern "C" void* __real_realloc(void* p, std::size_t n);

extern "C" void* __wrap_realloc(void* p, std::size_t n) {
  if (g_failRealloc > 0) {
    --g_failRealloc;
    return nullptr;
  }
  return __real_realloc(p, n);
}

#endif  // VANTRY_IO_REALLOC_WRAPPED

namespace vantry {
namespace {

using test::Bytes;

TEST(DataStreamPosixTest, FailedGrowthRefusesTheWriteAndKeepsTheBlock) {
#ifndef VANTRY_IO_REALLOC_WRAPPED
  GTEST_SKIP() << "realloc cannot be failed on demand in this build";
#else
  std::mt19937_64 rng(21);
  const Bytes original = test::RandomBytes(rng, 100);
  const Bytes incoming = test::RandomBytes(rng, 5000);
  auto* block = static_cast<unsigned char*>(std::malloc(100));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, original.data(), 100);
  {
    CDataStream stream;
    stream.Attach(block, 100);
    unsigned char skipped[40];
    ASSERT_EQ(stream.Read(skipped, 1, 40), 40u);

    g_failRealloc = 1;
    EXPECT_EQ(stream.Write(incoming.data(), 1, incoming.size()), 0u);
    EXPECT_EQ(g_failRealloc, 0) << "the write did not try to grow the block";
    EXPECT_EQ(stream.Data(), block);
    EXPECT_EQ(stream.Capacity(), 100);
    EXPECT_EQ(stream.Length(), 100);
    EXPECT_EQ(Bytes(block, block + 100), original);

    // The position did not move: a write that fits lands at offset 40, and once realloc works
    // again the growing write goes through from there.
    ASSERT_EQ(stream.Write(incoming.data(), 1, 10), 10u);
    ASSERT_EQ(stream.Write(incoming.data() + 10, 1, incoming.size() - 10), incoming.size() - 10);
    EXPECT_EQ(stream.Capacity(), 100 + 2 * 4096);
    EXPECT_EQ(stream.Length(), 5040);
    Bytes expected(original.begin(), original.begin() + 40);
    expected.insert(expected.end(), incoming.begin(), incoming.end());
    EXPECT_EQ(Bytes(stream.Data(), stream.Data() + stream.Length()), expected);
    block = stream.Data();
  }
  std::free(block);
#endif
}

}  // namespace
}  // namespace vantry
