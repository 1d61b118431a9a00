// OpenSSL as the independent oracle of the tests: AES and SHA-256 computed by another library.
// Header only, for the *_openssl_test.cpp files alone: builds without OpenSSL (the Windows
// cross build) compile none of them.
#ifndef VANTRY_TESTS_SUPPORT_OPENSSL_ORACLE_H_
#define VANTRY_TESTS_SUPPORT_OPENSSL_ORACLE_H_

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "support/test_support.h"
#include "vantry/rijndael_cipher.h"

namespace vantry::test {

// SHA-256 of n bytes.
inline Bytes OpenSslSha256(const void* data, std::size_t n) {
  Bytes digest(SHA256_DIGEST_LENGTH);
  SHA256(static_cast<const unsigned char*>(data), n, digest.data());
  return digest;
}

// The key check digest of a protected file: SHA-256 of "RIJNDAEL", the key bytes, then block
// size, key length, mode and padding in decimal, all ending at the first zero byte.
inline Bytes OracleKeyDigest(const Bytes& key, int blockSize, int mode, int padding) {
  std::string text = "RIJNDAEL";
  text.append(reinterpret_cast<const char*>(key.data()), key.size());
  text += std::to_string(blockSize) + std::to_string(key.size()) + std::to_string(mode) +
          std::to_string(padding);
  text = text.substr(0, text.find('\0'));
  return OpenSslSha256(text.data(), text.size());
}

// AES with the key's size (16, 24 or 32 bytes) in MODE_ECB, MODE_CBC or MODE_CFB (CFB-128) over
// whole blocks, without OpenSSL's padding. iv is ignored in ECB.
inline Bytes OpenSslAes(const Bytes& key, int mode, bool encrypt, const Bytes& iv,
                        const Bytes& data) {
  if (data.empty()) {
    return {};
  }
  const bool k16 = key.size() == 16;
  const bool k24 = key.size() == 24;
  const EVP_CIPHER* kind = mode == MODE_ECB   ? (k16   ? EVP_aes_128_ecb()
                                                 : k24 ? EVP_aes_192_ecb()
                                                       : EVP_aes_256_ecb())
                           : mode == MODE_CBC ? (k16   ? EVP_aes_128_cbc()
                                                 : k24 ? EVP_aes_192_cbc()
                                                       : EVP_aes_256_cbc())
                                              : (k16   ? EVP_aes_128_cfb128()
                                                 : k24 ? EVP_aes_192_cfb128()
                                                       : EVP_aes_256_cfb128());
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                      &EVP_CIPHER_CTX_free);
  Bytes out(data.size() + 32);
  int n = 0;
  int tail = 0;
  if (!ctx ||
      EVP_CipherInit_ex(ctx.get(), kind, nullptr, key.data(),
                        mode == MODE_ECB ? nullptr : iv.data(), encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
      EVP_CipherUpdate(ctx.get(), out.data(), &n, data.data(), static_cast<int>(data.size())) !=
          1 ||
      EVP_CipherFinal_ex(ctx.get(), out.data() + n, &tail) != 1) {
    throw std::runtime_error("OpenSSL refused the operation");
  }
  out.resize(static_cast<std::size_t>(n + tail));
  return out;
}

// Encryption alone, as the protected-file tests call it.
inline Bytes OracleAesEncrypt(const Bytes& key, int mode, const Bytes& iv, const Bytes& data) {
  return OpenSslAes(key, mode, true, iv, data);
}

}  // namespace vantry::test

#endif  // VANTRY_TESTS_SUPPORT_OPENSSL_ORACLE_H_
