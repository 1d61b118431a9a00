// OpenSSL as the independent oracle of the protected-file tests (only *_openssl_test.cpp
// include this).
#ifndef VANTRY_FILES_FILES_OPENSSL_ORACLE_H_
#define VANTRY_FILES_FILES_OPENSSL_ORACLE_H_

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "support/test_support.h"
#include "vantry/rijndael_cipher.h"

namespace vantry::test {

// SHA-256 of the key check text: "RIJNDAEL", the key bytes, then the four parameters in
// decimal, all ending at the first zero byte.
inline Bytes OracleKeyDigest(const Bytes& key, int blockSize, int mode, int padding) {
  std::string text = "RIJNDAEL";
  text.append(reinterpret_cast<const char*>(key.data()), key.size());
  text += std::to_string(blockSize) + std::to_string(key.size()) + std::to_string(mode) +
          std::to_string(padding);
  text = text.substr(0, text.find('\0'));
  Bytes digest(SHA256_DIGEST_LENGTH);
  SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest.data());
  return digest;
}

// AES with the key's size in ECB, CBC or CFB-128 over whole blocks, no padding of OpenSSL's.
inline Bytes OracleAesEncrypt(const Bytes& key, int mode, const Bytes& iv, const Bytes& data) {
  if (data.empty()) {
    return {};
  }
  const EVP_CIPHER* kind = nullptr;
  switch (key.size()) {
    case 16:
      kind = mode == MODE_ECB   ? EVP_aes_128_ecb()
             : mode == MODE_CBC ? EVP_aes_128_cbc()
                                : EVP_aes_128_cfb128();
      break;
    case 24:
      kind = mode == MODE_ECB   ? EVP_aes_192_ecb()
             : mode == MODE_CBC ? EVP_aes_192_cbc()
                                : EVP_aes_192_cfb128();
      break;
    default:
      kind = mode == MODE_ECB   ? EVP_aes_256_ecb()
             : mode == MODE_CBC ? EVP_aes_256_cbc()
                                : EVP_aes_256_cfb128();
      break;
  }
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                      &EVP_CIPHER_CTX_free);
  Bytes out(data.size() + 32);
  int n = 0;
  int tail = 0;
  if (!ctx ||
      EVP_EncryptInit_ex(ctx.get(), kind, nullptr, key.data(),
                         mode == MODE_ECB ? nullptr : iv.data()) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
      EVP_EncryptUpdate(ctx.get(), out.data(), &n, data.data(), static_cast<int>(data.size())) !=
          1 ||
      EVP_EncryptFinal_ex(ctx.get(), out.data() + n, &tail) != 1) {
    throw std::runtime_error("OpenSSL refused the encryption");
  }
  out.resize(static_cast<std::size_t>(n + tail));
  return out;
}

}  // namespace vantry::test

#endif  // VANTRY_FILES_FILES_OPENSSL_ORACLE_H_
