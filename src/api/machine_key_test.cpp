#include "api/machine_key.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "api/api_test_util.h"

namespace vantry {
namespace {

struct SerialCase {
  std::uint32_t serial;
  const char* key;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
inline void PrintTo(const SerialCase& c, std::ostream* os) {
  *os << "serial " << std::hex << c.serial << std::dec << " gives \"" << c.key << '"';
}

class MachineKeyFormat : public ::testing::TestWithParam<SerialCase> {};

TEST_P(MachineKeyFormat, HighHalfFirstFourUpperCaseDigitsEach) {
  test::ScopedVolumeSerial serial(GetParam().serial);
  EXPECT_EQ(GetMachineKey(), GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(
    Serials, MachineKeyFormat,
    ::testing::Values(SerialCase{0x1A2B3C4Du, "1A2B-3C4D"}, SerialCase{0x0000ABCDu, "0000-ABCD"},
                      SerialCase{0xABCD0000u, "ABCD-0000"}, SerialCase{0x00000000u, "0000-0000"},
                      SerialCase{0x00010001u, "0001-0001"}, SerialCase{0xFFFFFFFFu, "FFFF-FFFF"},
                      SerialCase{0xabcdef01u, "ABCD-EF01"}, SerialCase{0x80000000u, "8000-0000"}));

TEST(MachineKey, FailedQueryGivesTheEmptyKeyWhateverItWrote) {
  auto failing = test::ScopedVolumeSerial::Failing();
  EXPECT_EQ(GetMachineKey(), "");
}

TEST(MachineKey, RestoringThePlatformQueryEndsTheStandIn) {
  std::string platformKey = GetMachineKey();
  {
    auto failing = test::ScopedVolumeSerial::Failing();
    ASSERT_EQ(GetMachineKey(), "");
  }
  EXPECT_EQ(GetMachineKey(), platformKey);
}

TEST(MachineKey, PlatformKeyIsEmptyOrNineCharactersOfTheFormat) {
  std::string key = GetMachineKey();
  if (key.empty()) {
    GTEST_SKIP() << "this machine's volume serial cannot be read";
  }
  ASSERT_EQ(key.size(), 9u);
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (i == 4) {
      EXPECT_EQ(key[i], '-');
    } else {
      EXPECT_NE(std::string("0123456789ABCDEF").find(key[i]), std::string::npos) << key;
    }
  }
}

}  // namespace
}  // namespace vantry
