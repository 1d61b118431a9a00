#include "platform/secure_wipe.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantry::platform {
namespace {

TEST(SecureWipeTest, ZeroesExactlyTheGivenRange) {
  for (std::size_t n : {0, 1, 15, 16, 17, 240, 4097}) {
    SCOPED_TRACE(n);
    std::vector<unsigned char> bytes(n + 2, 0xCC);
    SecureWipe(bytes.data() + 1, n);
    EXPECT_EQ(bytes.front(), 0xCC);
    EXPECT_EQ(bytes.back(), 0xCC);
    for (std::size_t i = 1; i <= n; ++i) {
      ASSERT_EQ(bytes[i], 0) << i;
    }
  }
  SecureWipe(nullptr, 0);  // nothing to wipe is no fault
}

TEST(SecureWipeTest, ConstantTimeEqualitySeesADifferenceAtAnyByte) {
  const std::vector<unsigned char> a(33, 0x5A);
  EXPECT_TRUE(EqualInConstantTime(a.data(), a.data(), 0));
  for (std::size_t at = 0; at < a.size(); ++at) {
    std::vector<unsigned char> b = a;
    EXPECT_TRUE(EqualInConstantTime(a.data(), b.data(), a.size()));
    b[at] ^= 0x80;
    EXPECT_FALSE(EqualInConstantTime(a.data(), b.data(), a.size())) << at;
  }
}

}  // namespace
}  // namespace vantry::platform
