#include "hash/bit_count.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>

namespace vantry {
namespace {

const char kPromise[] = " (SECURITY.md: the key check digest is SHA-256)";

// The two-word count must behave as one 64-bit count of bits, wrapping only at 2^64.
TEST(AddBytesToBitCount, MatchesSixtyFourBitArithmetic) {
  struct Case {
    std::uint64_t before;
    std::int32_t iLen;
  };
  const Case fixed[] = {
      {0, 0},
      {0, 1},
      {0, INT32_MAX},
      {0, 0x1FFFFFFF},                      // largest length with nothing above 32 bits
      {0, 0x20000000},                      // 2^32 bits exactly: low word 0, high word 1
      {0x00000000FFFFFFF8ull, 1},           // low word wraps to 0
      {0x00000000FFFFFFF0ull, 1},           // low word just stays below the wrap
      {0x00000000FFFFFFF8ull, INT32_MAX},   // carry and high part together
      {0x00000001FFFFFFFFull, 0x20000001},  // carry into a high word that is already set
      {0xFFFFFFFFFFFFFFF8ull, 1},           // the whole count wraps
      {0xFFFFFFF0FFFFFFF8ull, INT32_MAX},
  };
  auto check = [](const Case& c) {
    std::uint32_t count[2] = {static_cast<std::uint32_t>(c.before),
                              static_cast<std::uint32_t>(c.before >> 32)};
    AddBytesToBitCount(count, c.iLen);
    const std::uint64_t expected = c.before + static_cast<std::uint64_t>(c.iLen) * 8;
    // The only guard of the length SHA-256 pads with, beyond 512 MiB.
    EXPECT_EQ(count[0], static_cast<std::uint32_t>(expected))
        << c.before << " + " << c.iLen << kPromise;
    EXPECT_EQ(count[1], static_cast<std::uint32_t>(expected >> 32))
        << c.before << " + " << c.iLen << kPromise;
  };
  for (const Case& c : fixed) {
    check(c);
  }
  std::mt19937_64 rng(4);
  for (int i = 0; i < 10000; ++i) {
    // Counts of whole bytes only: the low three bits of a real count are always zero.
    check({rng() & ~std::uint64_t{7}, static_cast<std::int32_t>(rng() & INT32_MAX)});
  }
}

}  // namespace
}  // namespace vantry
