// The kernels against OpenSSL's EVP AES with random keys, chain blocks and messages.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include "cipher/aes_ni/aes_ni.h"
#include "cipher/cipher_test_util.h"
#include "support/openssl_oracle.h"
#include "support/test_support.h"

namespace vantry::test {
namespace {

int ModeConstant(Mode mode) {
  return mode == Mode::kEcb ? MODE_ECB : mode == Mode::kCbc ? MODE_CBC : MODE_CFB;
}

Bytes OpenSsl(Mode mode, bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& in) {
  return OpenSslAes(key, ModeConstant(mode), encrypt, iv, in);
}

TEST(AesNiAgainstOpenSsl, RandomKeysAndMessagesInEveryMode) {
  if (!aes_ni::Available()) {
    GTEST_SKIP() << "the processor has no AES instructions";
  }
  std::mt19937_64 rng(0x5eed);
  const std::size_t blockCounts[] = {1, 3, 4, 7, 8, 9, 12, 15, 16, 17, 24, 25, 64, 65};
  for (int trial = 0; trial < 4; ++trial) {
    for (std::size_t keyLength : {16, 24, 32}) {
      const Bytes key = RandomBytes(rng, keyLength);
      const ReferenceSchedule s = MakeReferenceSchedule(key);
      for (Mode mode : {Mode::kEcb, Mode::kCbc, Mode::kCfb}) {
        for (bool encrypt : {true, false}) {
          for (std::size_t blocks : blockCounts) {
            SCOPED_TRACE("key " + ToHex(key) + (encrypt ? " encrypt " : " decrypt ") + "mode " +
                         std::to_string(static_cast<int>(mode)) + ", " + std::to_string(blocks) +
                         " blocks");
            const Bytes iv = RandomBytes(rng, 16);
            const Bytes in = RandomBytes(rng, 16 * blocks);
            EXPECT_EQ(ToHex(RunKernel(s, mode, encrypt, iv, in)),
                      ToHex(OpenSsl(mode, encrypt, key, iv, in)));
          }
        }
      }
    }
  }
}

TEST(AesNiAgainstOpenSsl, SingleBlocksUnderManyKeys) {
  if (!aes_ni::Available()) {
    GTEST_SKIP() << "the processor has no AES instructions";
  }
  std::mt19937_64 rng(42);
  for (int trial = 0; trial < 200; ++trial) {
    const Bytes key = RandomBytes(rng, 16 + 8 * static_cast<std::size_t>(trial % 3));
    const ReferenceSchedule s = MakeReferenceSchedule(key);
    const Bytes block = RandomBytes(rng, 16);
    const Bytes expected = OpenSsl(Mode::kEcb, true, key, Bytes(), block);
    Bytes out(16);
    aes_ni::EncryptBlock(s.encKeys, s.rounds, block.data(), out.data());
    ASSERT_EQ(ToHex(out), ToHex(expected)) << "key " << ToHex(key);
    aes_ni::DecryptBlock(s.decKeys, s.rounds, out.data(), out.data());
    ASSERT_EQ(ToHex(out), ToHex(block)) << "key " << ToHex(key);
  }
}

}  // namespace
}  // namespace vantry::test
