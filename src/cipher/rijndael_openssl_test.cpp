#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "cipher/cipher_test_util.h"
#include "support/openssl_oracle.h"
#include "support/test_support.h"

// Differential test against OpenSSL's AES over thousands of random keys, chain blocks and
// lengths, with the stream fed in random whole-block pieces, some of them in place: a piece
// gone wrong in place shows as a mismatch with OpenSSL's out-of-place result.

namespace vantry::test {
namespace {

Bytes OpenSslTransform(int, int mode, const Bytes& key, const Bytes& iv, const Bytes& in,
                       bool encrypt) {
  return OpenSslAes(key, mode, encrypt, iv, in);
}

// Feeds in through cipher in random pieces of whole blocks, alternating between pieces
// transformed in place and pieces written to a separate buffer.
Bytes Pieces(RijndaelProbe& cipher, const Bytes& in, bool encrypt, std::mt19937_64& rng) {
  Bytes out = in;
  bool sameBuffer = (rng() & 1) != 0;
  for (std::size_t at = 0; at < in.size();) {
    const std::size_t n = std::min<std::size_t>((1 + rng() % 8) * 16, in.size() - at);
    const unsigned char* source = sameBuffer ? out.data() + at : in.data() + at;
    if (encrypt) {
      cipher.Encrypt(source, out.data() + at, n);
    } else {
      cipher.Decrypt(source, out.data() + at, n);
    }
    sameBuffer = !sameBuffer;
    at += n;
  }
  return out;
}

TEST(RijndaelOpenSslTest, MatchesOpenSslAesOnRandomKeysChainsLengthsAndPieces) {
  std::mt19937_64 rng(0x5EED);
  const int kModes[] = {MODE_ECB, MODE_CBC, MODE_CFB};
  for (int trial = 0; trial < 3000; ++trial) {
    const int keyLength = kRijndaelSizes[trial % 3];
    const int mode = kModes[(trial / 3) % 3];
    // Key data of any length: the key is those bytes cut or repeated to the key length.
    const Bytes keyData = RandomBytes(rng, 1 + rng() % 40);
    Bytes key(static_cast<std::size_t>(keyLength));
    for (int i = 0; i < keyLength; ++i) {
      key[i] = keyData[i % keyData.size()];
    }
    const Bytes iv = RandomBytes(rng, 16);
    const std::size_t blocks = 1 + rng() % 80;
    const Bytes plain = RandomBytes(rng, blocks * 16);
    const std::string where = "trial " + std::to_string(trial) + " path " +
                              std::to_string((trial / 9) % 5) + " key " +
                              std::to_string(keyLength) + " mode " + std::to_string(mode) +
                              " blocks " + std::to_string(blocks);

    const Bytes expected = OpenSslTransform(keyLength, mode, key, iv, plain, true);
    // Every block path in turn; the tables stand in for AES-NI where the processor lacks it.
    BlockPath16 path = kBlockPaths16[(trial / 9) % 5];
    path = Runnable(path) ? path : BlockPath16::kUnrolled;
    RijndaelProbe cipher;
    SetKeyOnPath(cipher, path, keyData.data(), static_cast<std::int32_t>(keyData.size()), iv.data(),
                 keyLength, 16, mode, PAD_ZERO);
    ASSERT_EQ(ToHex(Pieces(cipher, plain, true, rng)), ToHex(expected)) << where;

    // Decrypt OpenSSL's cipher text of other plain text, so decryption is checked on its own.
    const Bytes otherPlain = RandomBytes(rng, plain.size());
    const Bytes otherCipher = OpenSslTransform(keyLength, mode, key, iv, otherPlain, true);
    cipher.ResetChainBlock();
    ASSERT_EQ(ToHex(Pieces(cipher, otherCipher, false, rng)), ToHex(otherPlain)) << where;
  }
}

}  // namespace
}  // namespace vantry::test
