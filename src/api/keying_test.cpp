#include "vantry/keying.h"

#include <gtest/gtest.h>

#include "support/messages.h"
#include "support/test_support.h"
#include "vantry/cipher_error.h"

namespace vantry {
namespace {

using test::Bytes;
using test::FromHex;

// The key check digest hashes the key bytes only up to their first zero byte, so raw key data
// with anything after a zero byte would pass the check of other keys: it is refused, and the
// cipher keeps whatever keying it had.
TEST(KeyingTest, RawKeysTheKeyCheckCannotTellApartAreRefused) {
  const struct {
    const char* name;
    Bytes key;
    int keyLength;
    bool refused;
  } cases[] = {
      {"a byte after a zero byte", FromHex("4100ff00000000000000000000000000"), 16, true},
      {"a zero byte first", FromHex("00410000000000000000000000000000"), 16, true},
      {"short data repeats past its zero", FromHex("4100"), 16, true},
      {"a zero past the key length", FromHex("4142434445464748494a4b4c4d4e4f500051"), 16, false},
      {"zero bytes after the key", FromHex("41000000000000000000000000000000"), 16, false},
      {"the all-zero key (the empty key text)", Bytes(32, 0), 16, false},
      {"a 32-byte key with a zero in its second half",
       FromHex("4141414141414141414141414141414100ff"), 32, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CRijndaelCipher cipher;
    KeyParameters parameters;
    parameters.keyLength = c.keyLength;
    try {
      KeyCipher(cipher, KeySource::kRawBytes, c.key.data(), c.key.size(), parameters);
      EXPECT_FALSE(c.refused);
    } catch (const CipherError& e) {
      EXPECT_TRUE(c.refused);
      EXPECT_EQ(e.kind(), CipherError::Kind::kIndistinctKey);
      EXPECT_STREQ(e.what(), test::kIndistinctKeyMessage);
      unsigned char digest[32];
      EXPECT_STREQ(test::MessageOf([&] { cipher.GetKeyDigest(digest); }).c_str(),
                   test::kNotInitializedText);
    }
  }
}

}  // namespace
}  // namespace vantry
