// The kernels against OpenSSL's EVP AES with random keys, chain blocks and messages.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include "cipher/aes_ni/aes_ni.h"
#include "cipher/cipher_test_util.h"
#include "support/test_support.h"

namespace vantry::test {
namespace {

const EVP_CIPHER* OpenSslCipher(Mode mode, std::size_t keyLength) {
  switch (mode) {
    case Mode::kEcb:
      return keyLength == 16   ? EVP_aes_128_ecb()
             : keyLength == 24 ? EVP_aes_192_ecb()
                               : EVP_aes_256_ecb();
    case Mode::kCbc:
      return keyLength == 16   ? EVP_aes_128_cbc()
             : keyLength == 24 ? EVP_aes_192_cbc()
                               : EVP_aes_256_cbc();
    case Mode::kCfb:
      return keyLength == 16   ? EVP_aes_128_cfb128()
             : keyLength == 24 ? EVP_aes_192_cfb128()
                               : EVP_aes_256_cfb128();
  }
  return nullptr;
}

Bytes OpenSsl(Mode mode, bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& in) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                      &EVP_CIPHER_CTX_free);
  Bytes out(in.size() + 16);
  int n = 0;
  int tail = 0;
  if (!ctx ||
      EVP_CipherInit_ex(ctx.get(), OpenSslCipher(mode, key.size()), nullptr, key.data(),
                        mode == Mode::kEcb ? nullptr : iv.data(), encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
      EVP_CipherUpdate(ctx.get(), out.data(), &n, in.data(), static_cast<int>(in.size())) != 1 ||
      EVP_CipherFinal_ex(ctx.get(), out.data() + n, &tail) != 1) {
    throw std::runtime_error("OpenSSL refused the operation");
  }
  out.resize(static_cast<std::size_t>(n + tail));
  return out;
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
