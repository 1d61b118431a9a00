// Protected files of the entry points rebuilt with OpenSSL: SHA-256 over the key check text and
// AES-128-ECB over the zero-padded data, for key texts of every length class and data sizes
// around every block and chunk boundary.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>

#include "support/openssl_oracle.h"
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

// The entry points' keying: AES-128, every block on its own, zero padding.
Bytes OpenSslHeader(const Bytes& key) { return test::OracleKeyDigest(key, 16, MODE_ECB, PAD_ZERO); }

Bytes OpenSslEcb(const Bytes& key, Bytes data) {
  data.resize((data.size() + 15) / 16 * 16, 0);
  return test::OpenSslAes(key, MODE_ECB, true, Bytes(), data);
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
