#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "cipher/cipher_test_util.h"
#include "support/test_support.h"

// Known answers for the key check digest that heads every protected file. The expected values
// are SHA-256 of the texts noted beside them, computed with the openssl command-line tool; a
// change here would make every existing file unreadable.

namespace vantry::test {
namespace {

Bytes Sequence(int first, int count) {
  Bytes b(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    b[i] = static_cast<unsigned char>(first + i);
  }
  return b;
}

std::string DigestOf(const Bytes& keyData, int keyLength, int blockSize, int mode, int padding,
                     const Bytes& chain = Bytes(32, 0)) {
  RijndaelProbe cipher;
  cipher.SetKey(keyData.data(), static_cast<std::int32_t>(keyData.size()), chain.data(), keyLength,
                blockSize, mode, padding);
  unsigned char digest[32];
  cipher.GetKeyDigest(digest);
  return ToHex(digest, 32);
}

const char* const kTagOnly = "45e65234fbb31c9dd3bd9e3718048b888a67a4518e50631750b147a681815789";

struct DigestCase {
  const char* name;
  Bytes keyData;
  int keyLength;
  int blockSize;
  int mode;
  int padding;
  const char* expected;
};

TEST(RijndaelKeyDigestTest, KnownAnswers) {
  Bytes zeroAtTen = Sequence(1, 16);
  zeroAtTen[9] = 0;
  const DigestCase cases[] = {
      // "RIJNDAEL" 01..10 "161600": 30 bytes, the library's own parameters.
      {"30 bytes", Sequence(1, 16), 16, 16, 0, 0,
       "a855fdaacb42650d3baab30ffb7c27a407f3db5b73f1f336ba3f1e21141dac46"},
      // "RIJNDAEL" 01..09: the tenth key byte is zero, so the text ends there.
      {"17 bytes", zeroAtTen, 16, 16, 0, 0,
       "4442ff31b78defb1660f88abc0e43f733f6c48ce414387d0c4ea382ab164294e"},
      {"17 bytes, other mode and padding", zeroAtTen, 16, 16, 2, 1,
       "4442ff31b78defb1660f88abc0e43f733f6c48ce414387d0c4ea382ab164294e"},
      // "RIJNDAEL" alone: the first key byte is zero.
      {"zero key 16", Bytes(16, 0), 16, 16, 0, 0, kTagOnly},
      {"zero key 32, block 32, CFB, count padding", Bytes(1, 0), 32, 32, 2, 2, kTagOnly},
      {"zero first byte, block 24", Sequence(0, 24), 24, 24, 1, 1, kTagOnly},
      // "RIJNDAEL" e0..ff "323222": the longest text, 46 bytes.
      {"46 bytes", Sequence(0xE0, 32), 32, 32, 2, 2,
       "fe7c4848e54fcda04aa5af5f7f139eede594f7687c5b8cf656b8b92a4867741b"},
      // "RIJNDAEL" 41..58 "162410": block size before key length, then mode and padding.
      {"digit order", Sequence(0x41, 24), 24, 16, 1, 0,
       "dc1470b0890f4bed9c0178948dd8d83657b5118fe9e43ad49a70d98502ddd63c"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DigestOf(c.keyData, c.keyLength, c.blockSize, c.mode, c.padding), c.expected)
        << c.name;
  }
}

// The digest covers the key and the parameters, never the chain block or the chain's progress.
TEST(RijndaelKeyDigestTest, ChainBlocksDoNotChangeIt) {
  std::mt19937_64 rng(12);
  for (int trial = 0; trial < 20; ++trial) {
    const Bytes key = RandomBytes(rng, 32);
    const std::string first = DigestOf(key, 32, 16, MODE_CBC, PAD_ZERO, RandomBytes(rng, 32));
    EXPECT_EQ(DigestOf(key, 32, 16, MODE_CBC, PAD_ZERO, RandomBytes(rng, 32)), first);

    RijndaelProbe cipher;
    const Bytes chain = RandomBytes(rng, 32);
    cipher.SetKey(key.data(), 32, chain.data(), 32, 16, MODE_CBC, PAD_ZERO);
    Bytes data = RandomBytes(rng, 64);
    cipher.Encrypt(data.data(), data.data(), data.size());
    unsigned char digest[32];
    cipher.GetKeyDigest(digest);
    EXPECT_EQ(ToHex(digest, 32), first) << "after the chain moved";
  }
}

TEST(RijndaelKeyDigestTest, UnkeyedObjectRefusesAndWritesNothing) {
  RijndaelProbe cipher;
  Bytes digest(32, 0xEE);
  EXPECT_EQ(MessageOf([&] { cipher.GetKeyDigest(digest.data()); }), kNotInitializedText);
  EXPECT_EQ(digest, Bytes(32, 0xEE));
}

}  // namespace
}  // namespace vantry::test
