#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

#include "hash/hash_test_util.h"
#include "support/test_support.h"
#include "vantry/sha.h"

namespace vantry {
namespace {

using test::Bytes;

std::string OpenSslSha256(const Bytes& message) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(message.data(), message.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("test: OpenSSL SHA-256 failed");
  }
  return test::ToHex(digest, length);
}

// Lengths around the places where padding changes shape (55/56: the length still fits behind
// the marker or not; 63/64/65: block edges) and around the chunk sizes the callers use.
TEST(CSHAAgainstOpenSsl, LengthsAroundBoundaries) {
  const std::size_t lengths[] = {1,   15,   16,   17,   55,   56,   57,   63,    64,    65,
                                 119, 120,  127,  128,  129,  383,  384,  385,   511,   512,
                                 513, 1023, 1024, 1025, 4095, 4096, 4097, 65535, 65536, 65537};
  std::mt19937_64 rng(5);
  for (std::size_t length : lengths) {
    const Bytes message = test::RandomBytes(rng, length);
    const std::string expected = OpenSslSha256(message);
    for (std::size_t split :
         {std::size_t{0}, std::size_t{1}, std::size_t{55}, std::size_t{56}, std::size_t{63},
          std::size_t{64}, std::size_t{65}, test::kRandomSplit}) {
      CSHA hasher;
      EXPECT_EQ(test::HexDigestInPieces(hasher, message, split, rng), expected)
          << length << " bytes, pieces " << test::SplitName(split);
    }
  }
}

TEST(CSHAAgainstOpenSsl, RandomLengthsAndSplits) {
  std::mt19937_64 rng(6);
  CSHA hasher;  // reused throughout: every digest must leave it as new
  for (int i = 0; i < 1000; ++i) {
    const Bytes message = test::RandomBytes(rng, 1 + rng() % 2000);
    const std::size_t split = i % 2 == 0 ? 0 : test::kRandomSplit;
    ASSERT_EQ(test::HexDigestInPieces(hasher, message, split, rng), OpenSslSha256(message))
        << message.size() << " bytes, pieces " << test::SplitName(split);
  }
}

}  // namespace
}  // namespace vantry
