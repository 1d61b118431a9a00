// The memory-backed operations against OpenSSL: a protected file written by the entry points'
// keying is the key check digest followed by AES-128-ECB of the zero-padded data.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "files/files_test_util.h"
#include "support/openssl_oracle.h"

namespace vantry::test {
namespace {

class ProtectedFileOracleTest : public ::testing::TestWithParam<std::size_t> {
 protected:
  // The file the entry points must write for these bytes, computed by OpenSSL.
  static Bytes ExpectedFile(const Bytes& data) {
    const Bytes key(kKeyText.begin(), kKeyText.begin() + 16);
    return Concat(OracleKeyDigest(key, 16, MODE_ECB, PAD_ZERO),
                  OracleAesEncrypt(key, MODE_ECB, {}, Concat(data, Fill(data.size(), 16, 0))));
  }

  TempDir dir;
};

TEST_P(ProtectedFileOracleTest, EncryptToFileWritesDigestAndAesOfZeroPaddedData) {
  const Bytes data = PatternBytes(GetParam());
  const std::string file = dir.File("saved.bin");
  EntryCipher()->EncryptToFile(data.data(), static_cast<std::int32_t>(data.size()), file);

  const Bytes written = ReadFile(file);
  EXPECT_EQ(written.size(), 32 + 16 * ((data.size() + 15) / 16));
  EXPECT_EQ(ToHex(written), ToHex(ExpectedFile(data)));
}

TEST_P(ProtectedFileOracleTest, DecryptFromFileReturnsDataPaddingAndHeaderSizedZeros) {
  const Bytes data = PatternBytes(GetParam());
  const std::string file = dir.File("saved.bin");
  WriteFile(file, ExpectedFile(data));

  std::int32_t length = -1;
  const Bytes loaded = LoadProtected(*EntryCipher(), file, &length);
  const Bytes expected = Concat(Concat(data, Fill(data.size(), 16, 0)), Bytes(32, 0));
  EXPECT_EQ(length, static_cast<std::int32_t>(ReadFile(file).size()));
  EXPECT_EQ(ToHex(loaded), ToHex(expected));
}

TEST_P(ProtectedFileOracleTest, FileOperationsAgreeWithBufferOperations) {
  const Bytes data = PatternBytes(GetParam());
  const std::string plain = dir.File("plain.bin");
  const std::string fromFile = dir.File("from-file.bin");
  const std::string decrypted = dir.File("decrypted.bin");
  WriteFile(plain, data);

  auto cipher = EntryCipher();
  cipher->EncryptFile(plain, fromFile);
  EXPECT_EQ(ToHex(ReadFile(fromFile)), ToHex(ExpectedFile(data)));

  cipher->DecryptFile(fromFile, decrypted);
  EXPECT_EQ(ToHex(ReadFile(decrypted)), ToHex(LoadProtected(*cipher, fromFile)));
}

TEST_P(ProtectedFileOracleTest, InPlaceEncryptAndDecryptReplaceTheFile) {
  const Bytes data = PatternBytes(GetParam());
  const std::string file = dir.File("in-place.bin");
  WriteFile(file, data);

  auto cipher = EntryCipher();
  cipher->EncryptFile(file, file);
  EXPECT_EQ(ToHex(ReadFile(file)), ToHex(ExpectedFile(data)));
  cipher->DecryptFile(file, file);
  EXPECT_EQ(ToHex(ReadFile(file)),
            ToHex(Concat(Concat(data, Fill(data.size(), 16, 0)), Bytes(32, 0))));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in-place.bin"});
}

INSTANTIATE_TEST_SUITE_P(Sizes, ProtectedFileOracleTest,
                         ::testing::Values(0, 1, 5, 15, 16, 17, 383, 384, 385, 511, 512, 513, 1000,
                                           1023, 1024, 1025, 4096, 65535, 65536, 65537, 100000));

// Only the first 16 characters of the key text key the cipher: the key check digest covers
// exactly those, so a 16-character prefix is enough to read a file back.
TEST(ProtectedFileOracleKeyTest, HeaderIsDigestOfFirstSixteenKeyBytesAndParameters) {
  TempDir dir;
  const std::string file = dir.File("header.bin");
  EntryCipher()->EncryptToFile(nullptr, 0, file);
  const Bytes key(kKeyText.begin(), kKeyText.begin() + 16);
  EXPECT_EQ(ToHex(ReadFile(file)), ToHex(OracleKeyDigest(key, 16, MODE_ECB, PAD_ZERO)));
  EXPECT_EQ(ToHex(LoadProtected(*EntryCipher(kKeyText.substr(0, 16)), file)), ToHex(Bytes(32, 0)));
}

}  // namespace
}  // namespace vantry::test
