#include "vantry/keying.h"

#include <gtest/gtest.h>

#include "support/messages.h"
#include "support/test_support.h"
#include "vantry/cipher_error.h"

namespace vantry::test {
namespace {

// The key check digest hashes the key bytes only up to their first zero byte, so raw key data
// with anything after a zero byte would pass the check of other keys: it is refused, and the
// cipher keeps whatever keying it had. What lies past the key length takes no part.
TEST(KeyingTest, RawKeysTheKeyCheckCannotTellApartAreRefused) {
  const struct {
    const char* key;
    int keyLength;
    bool refused;
  } cases[] = {
      {"4100ff00000000000000000000000000", 16, true},       // a byte after a zero byte
      {"00410000000000000000000000000000", 16, true},       // a zero byte first
      {"4100", 16, true},                                   // short data repeats past its zero
      {"4141414141414141414141414141414100ff", 32, true},   // the zero in the second half
      {"4142434445464748494a4b4c4d4e4f500051", 16, false},  // the zero past the key length
      {"41000000000000000000000000000000", 16, false},
      {"00000000000000000000000000000000", 16, false},  // the all-zero key: the empty key text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    const Bytes key = FromHex(c.key);
    CRijndaelCipher cipher;
    KeyParameters parameters;
    parameters.keyLength = c.keyLength;
    try {
      KeyCipher(cipher, KeySource::kRawBytes, key.data(), key.size(), parameters);
      EXPECT_FALSE(c.refused);
    } catch (const CipherError& e) {
      EXPECT_TRUE(c.refused);
      EXPECT_EQ(e.kind(), CipherError::Kind::kIndistinctKey);
      EXPECT_STREQ(e.what(), kIndistinctKeyMessage);
      unsigned char digest[32];
      EXPECT_EQ(MessageOf([&] { cipher.GetKeyDigest(digest); }), kNotInitializedText);
    }
  }
}

}  // namespace
}  // namespace vantry::test
