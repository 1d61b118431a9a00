#include "cipher/rijndael_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

namespace vantry::rijndael {
namespace {

struct ByteEntry {
  const char* table;
  const ByteTable& values;
  int index;
  int expected;
};

// Entries printed in FIPS-197 (Figures 7 and 14) and the usual published tables.
TEST(RijndaelTablesTest, SBoxesHoldPublishedValues) {
  const ByteEntry entries[] = {
      {"S", S, 0x00, 0x63},   {"S", S, 0x01, 0x7C},   {"S", S, 0x53, 0xED},
      {"S", S, 0x9A, 0xB8},   {"S", S, 0xC9, 0xDD},   {"S", S, 0xFF, 0x16},
      {"Si", Si, 0x00, 0x52}, {"Si", Si, 0x01, 0x09}, {"Si", Si, 0xED, 0x53},
      {"Si", Si, 0x63, 0x00}, {"Si", Si, 0xFF, 0x7D},
  };
  for (const auto& e : entries) {
    EXPECT_EQ(e.values[e.index], e.expected) << e.table << "[" << e.index << "]";
  }
}

TEST(RijndaelTablesTest, InverseSBoxUndoesSBoxAndNeitherHasFixedPoints) {
  std::set<int> images;
  for (int x = 0; x < 256; ++x) {
    EXPECT_EQ(Si[S[x]], x) << x;
    EXPECT_NE(S[x], x) << "fixed point " << x;
    EXPECT_NE(S[x], x ^ 0xFF) << "opposite fixed point " << x;
    images.insert(S[x]);
  }
  EXPECT_EQ(images.size(), 256u);
}

TEST(RijndaelTablesTest, RoundConstantsArePowersOfXContinuedToThirty) {
  const std::uint8_t expected[kRoundConstantCount] = {
      0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1B, 0x36, 0x6C, 0xD8, 0xAB, 0x4D, 0x9A,
      0x2F, 0x5E, 0xBC, 0x63, 0xC6, 0x97, 0x35, 0x6A, 0xD4, 0xB3, 0x7D, 0xFA, 0xEF, 0xC5, 0x91};
  for (int i = 0; i < kRoundConstantCount; ++i) {
    EXPECT_EQ(rcon[i], expected[i]) << "rcon[" << i << "]";
  }
}

struct WordEntry {
  const char* table;
  const WordTable& values;
  int index;
  std::uint32_t expected;
};

// Values of the widely published 32-bit round tables (Te0..Te3, Td0..Td3 in the Rijndael
// reference code's naming) and of InvMixColumns on single bytes.
TEST(RijndaelTablesTest, RoundTablesHoldPublishedValues) {
  const WordEntry entries[] = {
      {"T1", T1, 0x00, 0xC66363A5}, {"T1", T1, 0x01, 0xF87C7C84}, {"T1", T1, 0xFF, 0x2C16163A},
      {"T2", T2, 0x00, 0xA5C66363}, {"T3", T3, 0x00, 0x63A5C663}, {"T4", T4, 0x00, 0x6363A5C6},
      {"T5", T5, 0x00, 0x51F4A750}, {"T5", T5, 0x01, 0x7E416553}, {"T5", T5, 0xFF, 0xD0B85742},
      {"T6", T6, 0x00, 0x5051F4A7}, {"T7", T7, 0x00, 0xA75051F4}, {"T8", T8, 0x00, 0xF4A75051},
      {"U1", U1, 0x00, 0x00000000}, {"U1", U1, 0x01, 0x0E090D0B}, {"U1", U1, 0x02, 0x1C121A16},
      {"U1", U1, 0x80, 0x41ECDAF7}, {"U2", U2, 0x01, 0x0B0E090D}, {"U3", U3, 0x01, 0x0D0B0E09},
      {"U4", U4, 0x01, 0x090D0B0E},
  };
  for (const auto& e : entries) {
    EXPECT_EQ(e.values[e.index], e.expected) << e.table << "[" << e.index << "]";
  }
}

// The forward and inverse matrices are inverse to each other: applying InvMixColumns (U) to a
// column produced by MixColumns of one byte (T1 without its S-box) gives back that byte alone.
TEST(RijndaelTablesTest, InvMixColumnsUndoesMixColumns) {
  for (int x = 0; x < 256; ++x) {
    const std::uint32_t mixed = T1[Si[x]];  // MixColumns of (x, 0, 0, 0)
    const std::uint32_t back =
        U1[mixed >> 24] ^ U2[(mixed >> 16) & 0xFF] ^ U3[(mixed >> 8) & 0xFF] ^ U4[mixed & 0xFF];
    ASSERT_EQ(back, std::uint32_t(x) << 24) << x;
  }
}

}  // namespace
}  // namespace vantry::rijndael
