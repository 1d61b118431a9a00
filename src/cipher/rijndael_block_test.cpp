#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>

#include "cipher/cipher_test_util.h"
#include "support/test_support.h"

namespace vantry::test {
namespace {

struct BlockVector {
  const char* name;
  const char* key;
  const char* plain;
  const char* cipher;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
inline void PrintTo(const BlockVector& c, std::ostream* os) { *os << c.name; }

// FIPS-197 Appendix C.1, C.2, C.3, and the Appendix B example.
const BlockVector kFips197[] = {
    {"C1_128", "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"C2_192", "000102030405060708090a0b0c0d0e0f1011121314151617",
     "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"C3_256", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
    {"B_128", "2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
     "3925841d02dc09fbdc118597196a0b32"},
};

using BlockFunction = void (RijndaelProbe::*)(const unsigned char*, unsigned char*);

struct NamedPath {
  const char* name;
  BlockFunction encrypt;
  BlockFunction decrypt;
};

// Every way one 16-byte block can go.
const NamedPath kPaths16[] = {
    {"EncryptBlock", &RijndaelProbe::EncryptBlock, &RijndaelProbe::DecryptBlock},
    {"EncryptBlock128", &RijndaelProbe::EncryptBlock128, &RijndaelProbe::DecryptBlock128},
    {"EncryptBlockGeneral", &RijndaelProbe::EncryptBlockGeneral,
     &RijndaelProbe::DecryptBlockGeneral},
};

class Fips197Block : public ::testing::TestWithParam<BlockVector> {};

// Each entry point on an object keyed for AES-NI and on one keyed for the tables.
TEST_P(Fips197Block, EveryPathGivesTheCipherTextAndTurnsItBack) {
  const Bytes key = FromHex(GetParam().key);
  const Bytes plain = FromHex(GetParam().plain);
  for (BlockPath16 keyed : kKeyedPaths) {
    for (const auto& path : kPaths16) {
      RijndaelProbe cipher;
      if (!SetKeyOnPath(cipher, keyed, key.data(), static_cast<std::int32_t>(key.size()), nullptr,
                        static_cast<std::int32_t>(key.size()), 16, MODE_ECB, PAD_ZERO)) {
        continue;
      }
      unsigned char out[16];
      unsigned char back[16];
      (cipher.*path.encrypt)(plain.data(), out);
      EXPECT_EQ(ToHex(out, 16), GetParam().cipher) << NameOf(keyed) << " " << path.name;
      (cipher.*path.decrypt)(out, back);
      EXPECT_EQ(ToHex(back, 16), GetParam().plain) << NameOf(keyed) << " " << path.name;
    }
  }
}

TEST_P(Fips197Block, InPlaceGivesTheSameAsSeparateBuffers) {
  const Bytes key = FromHex(GetParam().key);
  for (BlockPath16 keyed : kKeyedPaths) {
    for (const auto& path : kPaths16) {
      RijndaelProbe cipher;
      if (!SetKeyOnPath(cipher, keyed, key.data(), static_cast<std::int32_t>(key.size()), nullptr,
                        static_cast<std::int32_t>(key.size()), 16, MODE_ECB, PAD_ZERO)) {
        continue;
      }
      Bytes block = FromHex(GetParam().plain);
      (cipher.*path.encrypt)(block.data(), block.data());
      EXPECT_EQ(ToHex(block), GetParam().cipher) << NameOf(keyed) << " " << path.name;
      (cipher.*path.decrypt)(block.data(), block.data());
      EXPECT_EQ(ToHex(block), GetParam().plain) << NameOf(keyed) << " " << path.name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fips197, Fips197Block, ::testing::ValuesIn(kFips197),
                         [](const auto& info) { return std::string(info.param.name); });

// The unrolled and the AES-NI path against the general one, which shares no code with either
// beyond the tables.
TEST(RijndaelBlockTest, KeyedPathsMatchGeneralPathOnRandomKeysAndBlocks) {
  std::mt19937_64 rng(2024);
  for (BlockPath16 keyed : kKeyedPaths) {
    for (int keyLength : kRijndaelSizes) {
      for (int trial = 0; trial < 200; ++trial) {
        const Bytes key = RandomBytes(rng, static_cast<std::size_t>(keyLength));
        const Bytes block = RandomBytes(rng, 16);
        RijndaelProbe cipher;
        if (!SetKeyOnPath(cipher, keyed, key.data(), keyLength, nullptr, keyLength, 16, MODE_ECB,
                          PAD_ZERO)) {
          break;
        }
        unsigned char fast[16];
        unsigned char general[16];
        cipher.EncryptBlock128(block.data(), fast);
        cipher.EncryptBlockGeneral(block.data(), general);
        ASSERT_EQ(ToHex(fast, 16), ToHex(general, 16))
            << NameOf(keyed) << " " << keyLength << " " << trial;
        cipher.DecryptBlock128(block.data(), fast);
        cipher.DecryptBlockGeneral(block.data(), general);
        ASSERT_EQ(ToHex(fast, 16), ToHex(general, 16))
            << NameOf(keyed) << " " << keyLength << " " << trial;
      }
    }
  }
}

TEST(RijndaelBlockTest, UnkeyedObjectRefusesEveryBlockOperationAndLeavesOutputAlone) {
  for (const auto& path : kPaths16) {
    for (BlockFunction f : {path.encrypt, path.decrypt}) {
      RijndaelProbe cipher;
      const Bytes before = ObjectBytes(cipher);
      Bytes in(32, 0x11);
      Bytes out(32, 0xEE);
      EXPECT_EQ(MessageOf([&] { (cipher.*f)(in.data(), out.data()); }), kNotInitializedText)
          << path.name;
      EXPECT_EQ(out, Bytes(32, 0xEE)) << path.name;
      EXPECT_EQ(ObjectBytes(cipher), before) << path.name;
    }
  }
}

// The unrolled path knows only four columns; keyed for a wider block it refuses rather than
// produce a wrong cipher text.
TEST(RijndaelBlockTest, UnrolledPathRefusesWiderBlocks) {
  for (int blockSize : {24, 32}) {
    for (BlockFunction f : {&RijndaelProbe::EncryptBlock128, &RijndaelProbe::DecryptBlock128}) {
      const Bytes key(16, 0x01);
      RijndaelProbe cipher;
      cipher.SetKey(key.data(), 16, nullptr, 16, blockSize, MODE_ECB, PAD_ZERO);
      Bytes out(32, 0xEE);
      const Bytes in(32, 0x11);
      EXPECT_EQ(MessageOf([&] { (cipher.*f)(in.data(), out.data()); }), kIllegalBlockSizeText)
          << blockSize;
      EXPECT_EQ(out, Bytes(32, 0xEE)) << blockSize;
    }
  }
}

}  // namespace
}  // namespace vantry::test
