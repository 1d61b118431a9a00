// The stream pair against OpenSSL: with 16-byte blocks the cipher is AES, so every key length,
// chaining mode and padding can be checked byte for byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

#include "files/files_test_util.h"
#include "support/openssl_oracle.h"

namespace vantry::test {
namespace {

using AesCase = std::tuple<int /*keyLength*/, int /*mode*/, int /*padding*/>;

class FileStreamOracleTest : public ::testing::TestWithParam<AesCase> {};

TEST_P(FileStreamOracleTest, ProtectedFileIsDigestAndAesOfPaddedInput) {
  const auto [keyLength, mode, padding] = GetParam();
  const Bytes key(kKeyText.begin(), kKeyText.begin() + keyLength);
  const Bytes iv(kChainBlock32.begin(), kChainBlock32.begin() + 16);
  TempDir dir;
  const std::string plain = dir.File("plain.bin");
  const std::string protectedFile = dir.File("protected.bin");
  auto cipher = KeyedCipher(keyLength, 16, mode, padding);

  for (std::size_t size : {0, 1, 15, 16, 17, 383, 384, 385, 1025, 5000}) {
    SCOPED_TRACE(size);
    const Bytes data = PatternBytes(size);
    WriteFile(plain, data);
    cipher->EncryptFileStream(plain, protectedFile);
    const Bytes expected =
        Concat(OracleKeyDigest(key, 16, mode, padding),
               OracleAesEncrypt(key, mode, iv, Concat(data, Fill(size, 16, padding))));
    EXPECT_EQ(ToHex(ReadFile(protectedFile)), ToHex(expected));
  }
}

INSTANTIATE_TEST_SUITE_P(AllAesKeyings, FileStreamOracleTest,
                         ::testing::Combine(::testing::Values(16, 24, 32),
                                            ::testing::Values(MODE_ECB, MODE_CBC, MODE_CFB),
                                            ::testing::Values(PAD_ZERO, PAD_SPACE, PAD_COUNT)));

}  // namespace
}  // namespace vantry::test
