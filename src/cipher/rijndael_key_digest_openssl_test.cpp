#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "cipher/cipher_test_util.h"
#include "support/openssl_oracle.h"
#include "support/test_support.h"

// The key check digest against OpenSSL's SHA-256 of exactly the bytes that should be hashed,
// for random keys in the three shapes the text can take.

namespace vantry::test {
namespace {

std::string OpenSslSha256(const std::string& text) {
  return ToHex(test::OpenSslSha256(text.data(), text.size()));
}

std::string DigestOf(const Bytes& keyData, int keyLength, int blockSize, int mode, int padding) {
  RijndaelProbe cipher;
  cipher.SetKey(keyData.data(), static_cast<std::int32_t>(keyData.size()), nullptr, keyLength,
                blockSize, mode, padding);
  unsigned char digest[32];
  cipher.GetKeyDigest(digest);
  return ToHex(digest, 32);
}

Bytes NonZeroBytes(std::mt19937_64& rng, std::size_t n) {
  Bytes b(n);
  for (auto& byte : b) {
    byte = static_cast<unsigned char>(1 + rng() % 255);
  }
  return b;
}

std::string Text(const Bytes& prefix) {
  return "RIJNDAEL" + std::string(prefix.begin(), prefix.end());
}

TEST(RijndaelKeyDigestOpenSslTest, ThirtyByteTextOfTheLibrarysParameters) {
  std::mt19937_64 rng(21);
  for (int trial = 0; trial < 200; ++trial) {
    const Bytes key = NonZeroBytes(rng, 16);
    const std::string text = Text(key) + "161600";
    ASSERT_EQ(text.size(), 30u);
    EXPECT_EQ(DigestOf(key, 16, 16, MODE_ECB, PAD_ZERO), OpenSslSha256(text)) << trial;
  }
}

TEST(RijndaelKeyDigestOpenSslTest, SeventeenByteTextWhenTheTenthKeyByteIsZero) {
  std::mt19937_64 rng(22);
  for (int trial = 0; trial < 200; ++trial) {
    Bytes key = NonZeroBytes(rng, 16);
    key[9] = 0;
    const std::string text = Text(Bytes(key.begin(), key.begin() + 9));
    ASSERT_EQ(text.size(), 17u);
    const int mode = static_cast<int>(rng() % 3);
    const int padding = static_cast<int>(rng() % 3);
    EXPECT_EQ(DigestOf(key, 16, 16, mode, padding), OpenSslSha256(text)) << trial;
  }
}

TEST(RijndaelKeyDigestOpenSslTest, EightByteTextWhenTheFirstKeyByteIsZero) {
  std::mt19937_64 rng(23);
  const int kSizes[] = {16, 24, 32};
  for (int trial = 0; trial < 200; ++trial) {
    const int keyLength = kSizes[rng() % 3];
    Bytes key = RandomBytes(rng, static_cast<std::size_t>(keyLength));
    key[0] = 0;
    EXPECT_EQ(DigestOf(key, keyLength, kSizes[rng() % 3], static_cast<int>(rng() % 3),
                       static_cast<int>(rng() % 3)),
              OpenSslSha256("RIJNDAEL"))
        << trial;
  }
}

TEST(RijndaelKeyDigestOpenSslTest, EveryParameterCombinationWithAFullKey) {
  std::mt19937_64 rng(24);
  const int kSizes[] = {16, 24, 32};
  for (int keyLength : kSizes) {
    for (int blockSize : kSizes) {
      for (int mode = 0; mode < 3; ++mode) {
        for (int padding = 0; padding < 3; ++padding) {
          const Bytes key = NonZeroBytes(rng, static_cast<std::size_t>(keyLength));
          const std::string text = Text(key) + std::to_string(blockSize) +
                                   std::to_string(keyLength) + std::to_string(mode) +
                                   std::to_string(padding);
          EXPECT_EQ(DigestOf(key, keyLength, blockSize, mode, padding), OpenSslSha256(text))
              << keyLength << " " << blockSize << " " << mode << " " << padding;
        }
      }
    }
  }
}

}  // namespace
}  // namespace vantry::test
