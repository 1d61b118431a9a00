// Protected files of the entry points rebuilt with OpenSSL: SHA-256 over the key check text and
// AES-128-ECB over the zero-padded data, for key texts of every length class and data sizes
// around every block and chunk boundary.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>

#include "support/test_support.h"
#include "vantry/vantry.h"

namespace vantry {
namespace {

using test::Bytes;
using test::ToHex;

// The first 16 bytes of the key text as a bounded C string copy leaves them.
Bytes KeyBytes(const std::string& keyText) {
  Bytes key(17, 0);
  std::strncpy(reinterpret_cast<char*>(key.data()), keyText.c_str(), 16);
  key.resize(16);
  return key;
}

Bytes OpenSslHeader(const Bytes& key) {
  std::string text = "RIJNDAEL";
  text.append(key.begin(), key.end());
  text += "161600";
  text.resize(std::strlen(text.c_str()));  // hashed up to the first zero byte
  Bytes digest(SHA256_DIGEST_LENGTH);
  SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest.data());
  return digest;
}

Bytes OpenSslEcb(const Bytes& key, Bytes data) {
  data.resize((data.size() + 15) / 16 * 16, 0);
  Bytes out(data.size() + 16);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n1 = 0;
  int n2 = 0;
  bool ok =
      EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key.data(), nullptr) == 1 &&
      EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
      EVP_EncryptUpdate(ctx, out.data(), &n1, data.data(), static_cast<int>(data.size())) == 1 &&
      EVP_EncryptFinal_ex(ctx, out.data() + n1, &n2) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) {
    throw std::runtime_error("OpenSSL AES-128-ECB failed");
  }
  out.resize(static_cast<std::size_t>(n1 + n2));
  return out;
}

class EntryPointsAgainstOpenSsl : public ::testing::TestWithParam<std::tuple<std::string, int>> {};

TEST_P(EntryPointsAgainstOpenSsl, FileIsDigestThenEcbOfZeroPaddedData) {
  const std::string& keyText = std::get<0>(GetParam());
  const int size = std::get<1>(GetParam());
  std::mt19937_64 rng(static_cast<unsigned>(size) * 31u + keyText.size());
  const Bytes data = test::RandomBytes(rng, static_cast<std::size_t>(size));
  test::TempDir dir;
  const std::string file = dir.File("f.vty");
  // A key object of length 0 would select the machine key; a lone NUL is the empty key text.
  SaveVantryWithKey(data.data(), size, file, keyText.empty() ? std::string(1, '\0') : keyText);

  const Bytes key = KeyBytes(keyText);
  Bytes expected = OpenSslHeader(key);
  const Bytes cipherText = OpenSslEcb(key, data);
  expected.insert(expected.end(), cipherText.begin(), cipherText.end());
  EXPECT_EQ(ToHex(test::ReadFile(file)), ToHex(expected));
}

INSTANTIATE_TEST_SUITE_P(
    KeysAndSizes, EntryPointsAgainstOpenSsl,
    ::testing::Combine(::testing::Values(std::string(""), std::string("k"),
                                         std::string("fifteen chars.."),
                                         std::string("sixteen chars..."),
                                         std::string("a key text longer than thirty-two chars"),
                                         std::string("\xC3\xA9t\xC3\xA9 \xFF\x01")),
                       ::testing::Values(0, 1, 15, 16, 17, 383, 384, 385, 511, 512, 513, 1023, 1024,
                                         1025, 100000)));

}  // namespace
}  // namespace vantry
