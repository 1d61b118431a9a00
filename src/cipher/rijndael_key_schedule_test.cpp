#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cipher/cipher_test_util.h"
#include "support/aes_reference.h"
#include "support/test_support.h"

namespace vantry::test {
namespace {

std::vector<std::uint32_t> Words(const std::string& spaced) {
  std::istringstream in(spaced);
  std::vector<std::uint32_t> words;
  std::string word;
  while (in >> word) {
    words.push_back(static_cast<std::uint32_t>(std::stoul(word, nullptr, 16)));
  }
  return words;
}

struct Expansion {
  const char* name;
  const char* key;
  const char* words;  // w[0] .. w[4 * (rounds + 1) - 1]
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
inline void PrintTo(const Expansion& c, std::ostream* os) { *os << c.name; }

// FIPS-197 Appendix A.1, A.2, A.3.
const Expansion kAppendixA[] = {
    {"A1_128", "2b7e151628aed2a6abf7158809cf4f3c",
     "2b7e1516 28aed2a6 abf71588 09cf4f3c a0fafe17 88542cb1 23a33939 2a6c7605 f2c295f2 7a96b943 "
     "5935807a 7359f67f 3d80477d 4716fe3e 1e237e44 6d7a883b ef44a541 a8525b7f b671253b db0bad00 "
     "d4d1c6f8 7c839d87 caf2b8bc 11f915bc 6d88a37a 110b3efd dbf98641 ca0093fd 4e54f70e 5f5fc9f3 "
     "84a64fb2 4ea6dc4f ead27321 b58dbad2 312bf560 7f8d292f ac7766f3 19fadc21 28d12941 575c006e "
     "d014f9a8 c9ee2589 e13f0cc8 b6630ca6"},
    {"A2_192", "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
     "8e73b0f7 da0e6452 c810f32b 809079e5 62f8ead2 522c6b7b fe0c91f7 2402f5a5 ec12068e 6c827f6b "
     "0e7a95b9 5c56fec2 4db7b4bd 69b54118 85a74796 e92538fd e75fad44 bb095386 485af057 21efb14f "
     "a448f6d9 4d6dce24 aa326360 113b30e6 a25e7ed5 83b1cf9a 27f93943 6a94f767 c0a69407 d19da4e1 "
     "ec1786eb 6fa64971 485f7032 22cb8755 e26d1352 33f0b7b3 40beeb28 2f18a259 6747d26b 458c553e "
     "a7e1466c 9411f1df 821f750a ad07d753 ca400538 8fcc5006 282d166a bc3ce7b5 e98ba06f 448c773c "
     "8ecc7204 01002202"},
    {"A3_256", "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
     "603deb10 15ca71be 2b73aef0 857d7781 1f352c07 3b6108d7 2d9810a3 0914dff4 9ba35411 8e6925af "
     "a51a8b5f 2067fcde a8b09c1a 93d194cd be49846e b75d5b9a d59aecb8 5bf3c917 fee94248 de8ebe96 "
     "b5a9328a 2678a647 98312229 2f6c79b3 812c81ad dadf48ba 24360af2 fab8b464 98c5bfc9 bebd198e "
     "268c3ba7 09e04214 68007bac b2df3316 96e939e4 6c518d80 c814e204 76a9fb8a 5025c02d 59c58239 "
     "de136967 6ccc5a71 fa256395 9674ee15 5886ca5d 2e2f31d7 7e0af1fa 27cf73c3 749c47ab 18501dda "
     "e2757e4f 7401905a cafaaae3 e4d59b34 9adf6ace bd10190d fe4890d1 e6188d0b 046df344 706c631e"},
};

class AppendixAExpansion : public ::testing::TestWithParam<Expansion> {};

TEST_P(AppendixAExpansion, EncryptionRoundKeysAreTheExpandedWords) {
  const Bytes key = FromHex(GetParam().key);
  const std::vector<std::uint32_t> w = Words(GetParam().words);
  RijndaelProbe cipher;
  cipher.SetKey(key.data(), static_cast<std::int32_t>(key.size()), nullptr,
                static_cast<std::int32_t>(key.size()), 16, MODE_ECB, PAD_ZERO);
  ASSERT_EQ(static_cast<std::size_t>(4 * (cipher.Rounds() + 1)), w.size());
  for (std::size_t t = 0; t < w.size(); ++t) {
    EXPECT_EQ(cipher.EncRoundKey(static_cast<int>(t / 4), static_cast<int>(t % 4)), w[t])
        << "w[" << t << "]";
  }
}

// Decryption rows run backwards; the inner ones carry InvMixColumns so that the inverse rounds
// keep the table structure.
TEST_P(AppendixAExpansion, DecryptionRoundKeysAreReversedWithInvMixColumnsInside) {
  const Bytes key = FromHex(GetParam().key);
  RijndaelProbe cipher;
  cipher.SetKey(key.data(), static_cast<std::int32_t>(key.size()), nullptr,
                static_cast<std::int32_t>(key.size()), 16, MODE_ECB, PAD_ZERO);
  const int rounds = cipher.Rounds();
  for (int column = 0; column < 4; ++column) {
    EXPECT_EQ(cipher.DecRoundKey(0, column), cipher.EncRoundKey(rounds, column));
    EXPECT_EQ(cipher.DecRoundKey(rounds, column), cipher.EncRoundKey(0, column));
    for (int row = 1; row < rounds; ++row) {
      EXPECT_EQ(cipher.DecRoundKey(row, column),
                ReferenceInvMixColumn(cipher.EncRoundKey(rounds - row, column)))
          << "row " << row << " column " << column;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fips197, AppendixAExpansion, ::testing::ValuesIn(kAppendixA),
                         [](const auto& info) { return std::string(info.param.name); });

// Rounds = max(key columns, block columns) + 6; the schedule fills exactly (rounds + 1) rows of
// BC words and nothing beyond them, for every pair of sizes.
TEST(RijndaelKeyScheduleTest, RoundsAndRoundKeyWordsForEverySizePair) {
  const int expectedRounds[3][3] = {{10, 12, 14}, {12, 12, 14}, {14, 14, 14}};
  const Bytes keyData(32, 0xA7);
  const Bytes chain(32, 0x11);
  for (int k = 0; k < 3; ++k) {
    for (int b = 0; b < 3; ++b) {
      const int keyLength = kRijndaelSizes[k];
      const int blockSize = kRijndaelSizes[b];
      RijndaelProbe cipher;
      cipher.SetKey(keyData.data(), 32, chain.data(), keyLength, blockSize, MODE_ECB, PAD_ZERO);
      const int rounds = cipher.Rounds();
      EXPECT_EQ(rounds, expectedRounds[k][b]) << keyLength << "/" << blockSize;
      int used = 0;
      int beyond = 0;
      for (int row = 0; row < 15; ++row) {
        for (int column = 0; column < 8; ++column) {
          const bool inside = row <= rounds && column < blockSize / 4;
          const bool nonZero = cipher.EncRoundKey(row, column) != 0;
          used += inside && nonZero ? 1 : 0;
          beyond += !inside && (nonZero || cipher.DecRoundKey(row, column) != 0) ? 1 : 0;
        }
      }
      EXPECT_EQ(used, (rounds + 1) * blockSize / 4) << keyLength << "/" << blockSize;
      EXPECT_EQ(beyond, 0) << keyLength << "/" << blockSize;
    }
  }
}

TEST(RijndaelKeyScheduleTest, KeyLength16WithBlockSize32Uses14RoundsAnd120Words) {
  const Bytes key(16, 0x5C);
  RijndaelProbe cipher;
  cipher.SetKey(key.data(), 16, nullptr, 16, 32, MODE_ECB, PAD_ZERO);
  EXPECT_EQ(cipher.Rounds(), 14);
  EXPECT_EQ((cipher.Rounds() + 1) * cipher.BlockSize() / 4, 120);
  EXPECT_NE(cipher.EncRoundKey(14, 7), 0u);  // the last of the 120 words was filled
}

struct KeyDerivation {
  const char* name;
  const char* keyData;
  int keyLength;
  const char* expectedKey;
};

// Key byte i is keyData[i mod keyDataLength]: long key data is cut, short key data repeated.
TEST(RijndaelKeyScheduleTest, KeyBytesAreTheKeyDataCutOrRepeated) {
  const KeyDerivation cases[] = {
      {"exact", "000102030405060708090a0b0c0d0e0f", 16, "000102030405060708090a0b0c0d0e0f"},
      {"five bytes repeated", "0102030405", 16, "01020304050102030405010203040501"},
      {"one byte", "9c", 24, "9c9c9c9c9c9c9c9c9c9c9c9c9c9c9c9c9c9c9c9c9c9c9c9c"},
      {"32 bytes cut to 16", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", 16,
       "000102030405060708090a0b0c0d0e0f"},
      {"17 bytes repeated to 32", "a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0", 32,
       "a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0a0a1a2a3a4a5a6a7a8a9aaabacadae"},
  };
  for (const auto& c : cases) {
    const Bytes keyData = FromHex(c.keyData);
    RijndaelProbe cipher;
    cipher.SetKey(keyData.data(), static_cast<std::int32_t>(keyData.size()), nullptr, c.keyLength,
                  16, MODE_ECB, PAD_ZERO);
    EXPECT_EQ(ToHex(cipher.Key()), c.expectedKey) << c.name;
  }
}

// The bytes beyond the key length play no part: not in the round keys, not in the digest.
TEST(RijndaelKeyScheduleTest, KeyDataBeyondKeyLengthIsIgnored) {
  std::mt19937_64 rng(7);
  Bytes first = RandomBytes(rng, 32);
  Bytes second = first;
  for (int i = 16; i < 32; ++i) {
    second[i] ^= 0xFF;
  }
  RijndaelProbe a;
  RijndaelProbe b;
  a.SetKey(first.data(), 32, nullptr, 16, 16, MODE_ECB, PAD_ZERO);
  b.SetKey(second.data(), 32, nullptr, 16, 16, MODE_ECB, PAD_ZERO);
  for (int row = 0; row <= 10; ++row) {
    for (int column = 0; column < 4; ++column) {
      ASSERT_EQ(a.EncRoundKey(row, column), b.EncRoundKey(row, column));
      ASSERT_EQ(a.DecRoundKey(row, column), b.DecRoundKey(row, column));
    }
  }
  unsigned char digestA[32];
  unsigned char digestB[32];
  a.GetKeyDigest(digestA);
  b.GetKeyDigest(digestB);
  EXPECT_EQ(ToHex(digestA, 32), ToHex(digestB, 32));
}

TEST(RijndaelKeyScheduleTest, ChainBlockIsCopiedAndNullMeansZeros) {
  for (int blockSize : kRijndaelSizes) {
    Bytes chain(32);
    for (int i = 0; i < 32; ++i) {
      chain[i] = static_cast<unsigned char>(0xC0 + i);
    }
    const Bytes key(16, 0x01);
    RijndaelProbe cipher;
    cipher.SetKey(key.data(), 16, chain.data(), 16, blockSize, MODE_CBC, PAD_ZERO);
    chain.assign(32, 0);  // the caller's buffer may change or go away afterwards
    Bytes expected(blockSize);
    for (int i = 0; i < blockSize; ++i) {
      expected[i] = static_cast<unsigned char>(0xC0 + i);
    }
    EXPECT_EQ(cipher.InitialChain(), expected) << blockSize;
    EXPECT_EQ(cipher.Chain(), expected) << blockSize;

    cipher.SetKey(key.data(), 16, nullptr, 16, blockSize, MODE_CBC, PAD_ZERO);
    EXPECT_EQ(cipher.InitialChain(), Bytes(blockSize, 0)) << blockSize;
    EXPECT_EQ(cipher.Chain(), Bytes(blockSize, 0)) << blockSize;
  }
}

// Re-keying with smaller sizes leaves nothing of the earlier, larger key behind, and the object
// then behaves exactly like a freshly keyed one.
TEST(RijndaelKeyScheduleTest, RekeyingReplacesEverythingOfTheEarlierKey) {
  std::mt19937_64 rng(11);
  const Bytes bigKey = RandomBytes(rng, 32);
  const Bytes bigChain = RandomBytes(rng, 32);
  const Bytes smallKey = RandomBytes(rng, 16);
  const Bytes smallChain = RandomBytes(rng, 16);

  RijndaelProbe reused;
  reused.SetKey(bigKey.data(), 32, bigChain.data(), 32, 32, MODE_CFB, PAD_COUNT);
  Bytes scratch(64, 0x3D);
  reused.Encrypt(scratch.data(), scratch.data(), scratch.size());  // chain and scratch in use
  reused.SetKey(smallKey.data(), 16, smallChain.data(), 16, 16, MODE_CBC, PAD_SPACE);

  RijndaelProbe fresh;
  fresh.SetKey(smallKey.data(), 16, smallChain.data(), 16, 16, MODE_CBC, PAD_SPACE);
  EXPECT_EQ(reused.MemberBytes(), fresh.MemberBytes());
}

struct RefusedKeying {
  const char* name;
  bool nullKeyData;
  std::int32_t keyDataLength;
  std::int32_t keyLength;
  std::int32_t blockSize;
  std::int32_t mode;
  std::int32_t padding;
  const char* message;
};

// One case per check, and cases where two checks fail to show which comes first.
const RefusedKeying kRefusedKeyings[] = {
    {"null key data", true, 16, 16, 16, 0, 0, "Sealkit ERROR: No Key DataSpecified!"},
    {"null key data, length 0", true, 0, 16, 16, 0, 0, "Sealkit ERROR: No Key DataSpecified!"},
    {"null key data, all bad", true, -1, 20, 20, 3, 3, "Sealkit ERROR: No Key DataSpecified!"},
    {"length 0", false, 0, 16, 16, 0, 0, "Sealkit ERROR: Key Data Length should be > 0!"},
    {"length -1", false, -1, 16, 16, 0, 0, "Sealkit ERROR: Key Data Length should be > 0!"},
    {"length 0, key length 20", false, 0, 20, 16, 0, 0,
     "Sealkit ERROR: Key Data Length should be > 0!"},
    {"key length 0", false, 16, 0, 16, 0, 0, "Illegal Key Length!"},
    {"key length 15", false, 16, 15, 16, 0, 0, "Illegal Key Length!"},
    {"key length 17", false, 16, 17, 16, 0, 0, "Illegal Key Length!"},
    {"key length 20, block 20", false, 16, 20, 20, 0, 0, "Illegal Key Length!"},
    {"key length 64", false, 16, 64, 16, 0, 0, "Illegal Key Length!"},
    {"key length -16", false, 16, -16, 16, 0, 0, "Illegal Key Length!"},
    {"block 0", false, 16, 16, 0, 0, 0, "Illegal Block Size!"},
    {"block 8", false, 16, 16, 8, 0, 0, "Illegal Block Size!"},
    {"block 20, mode 3", false, 16, 24, 20, 3, 0, "Illegal Block Size!"},
    {"block 64", false, 16, 32, 64, 0, 0, "Illegal Block Size!"},
    {"mode 3", false, 16, 16, 16, 3, 0, "Sealkit ERROR: Illegal Operation Mode!"},
    {"mode -1", false, 16, 16, 16, -1, 0, "Sealkit ERROR: Illegal Operation Mode!"},
    {"mode 3, padding 3", false, 16, 16, 16, 3, 3, "Sealkit ERROR: Illegal Operation Mode!"},
    {"padding 3", false, 16, 16, 16, 0, 3, "Sealkit ERROR: Illegal Padding Mode!"},
    {"padding -1", false, 16, 16, 16, 2, -1, "Sealkit ERROR: Illegal Padding Mode!"},
};

void CallSetKey(CRijndaelCipher& cipher, const RefusedKeying& c) {
  static const unsigned char kKeyData[64] = {0x42};
  static const unsigned char kChain[64] = {0x24};
  cipher.SetKey(c.nullKeyData ? nullptr : kKeyData, c.keyDataLength, kChain, c.keyLength,
                c.blockSize, c.mode, c.padding);
}

TEST(RijndaelKeyScheduleTest, RefusedKeyingOfAFreshObjectLeavesItUnkeyedAndUnchanged) {
  for (const auto& c : kRefusedKeyings) {
    RijndaelProbe cipher;
    const Bytes before = ObjectBytes(cipher);
    EXPECT_EQ(MessageOf([&] { CallSetKey(cipher, c); }), c.message) << c.name;
    EXPECT_EQ(ObjectBytes(cipher), before) << c.name;
    EXPECT_FALSE(cipher.Initialized()) << c.name;
    unsigned char block[16] = {};
    EXPECT_EQ(MessageOf([&] { cipher.Encrypt(block, block, 16); }), kNotInitializedText) << c.name;
  }
}

// A refused call on a keyed object keeps its key, chain blocks and parameters: the object's
// bytes are the same, and so is what it produces, the chain carrying on where it was.
TEST(RijndaelKeyScheduleTest, RefusedKeyingOfAKeyedObjectKeepsTheEarlierKey) {
  std::mt19937_64 rng(3);
  const Bytes key = RandomBytes(rng, 24);
  const Bytes chain = RandomBytes(rng, 24);
  const Bytes plain = RandomBytes(rng, 96);
  for (const auto& c : kRefusedKeyings) {
    RijndaelProbe cipher;
    RijndaelProbe twin;
    cipher.SetKey(key.data(), 24, chain.data(), 24, 24, MODE_CBC, PAD_COUNT);
    twin.SetKey(key.data(), 24, chain.data(), 24, 24, MODE_CBC, PAD_COUNT);
    Bytes out(48);
    cipher.Encrypt(plain.data(), out.data(), 48);
    twin.Encrypt(plain.data(), out.data(), 48);

    const Bytes before = ObjectBytes(cipher);
    EXPECT_EQ(MessageOf([&] { CallSetKey(cipher, c); }), c.message) << c.name;
    EXPECT_EQ(ObjectBytes(cipher), before) << c.name;

    Bytes fromCipher(48);
    Bytes fromTwin(48);
    cipher.Encrypt(plain.data() + 48, fromCipher.data(), 48);
    twin.Encrypt(plain.data() + 48, fromTwin.data(), 48);
    EXPECT_EQ(fromCipher, fromTwin) << c.name;
  }
}

// Key data and chain block may be bytes of the object being keyed (a subclass re-keying from
// its own members): they are read before anything is overwritten.
TEST(RijndaelKeyScheduleTest, KeyingFromTheObjectsOwnBytesMatchesKeyingFromACopy) {
  class SelfKeying : public RijndaelProbe {
   public:
    void RekeyFromOwnMembers() { SetKey(m_abChain, 16, m_abKey, 16, 16, MODE_CBC, PAD_ZERO); }
  };
  std::mt19937_64 rng(5);
  const Bytes key = RandomBytes(rng, 16);
  const Bytes chain = RandomBytes(rng, 16);
  SelfKeying self;
  self.SetKey(key.data(), 16, chain.data(), 16, 16, MODE_CBC, PAD_ZERO);
  self.RekeyFromOwnMembers();

  RijndaelProbe expected;
  expected.SetKey(chain.data(), 16, key.data(), 16, 16, MODE_CBC, PAD_ZERO);
  EXPECT_EQ(self.MemberBytes(), expected.MemberBytes());
}

}  // namespace
}  // namespace vantry::test
