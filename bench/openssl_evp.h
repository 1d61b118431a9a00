// Thin owners of OpenSSL EVP contexts, used as the host that would call OpenSSL itself would
// use them: the algorithm fetched once, one context keyed once and then fed.
#ifndef VANTRY_BENCH_OPENSSL_EVP_H_
#define VANTRY_BENCH_OPENSSL_EVP_H_

#include <openssl/evp.h>

#include <cstddef>
#include <stdexcept>
#include <string>

namespace vantry::bench {

// "AES-128-ECB", "AES-256-CBC", "AES-192-CFB" (full-block feedback) ...
class EvpCipher {
 public:
  EvpCipher(const std::string& name, const unsigned char* key, const unsigned char* iv,
            bool encrypt)
      : m_cipher(EVP_CIPHER_fetch(nullptr, name.c_str(), nullptr)), m_ctx(EVP_CIPHER_CTX_new()) {
    if (m_cipher == nullptr || m_ctx == nullptr ||
        EVP_CipherInit_ex2(m_ctx, m_cipher, key, iv, encrypt ? 1 : 0, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(m_ctx, 0) != 1) {
      Free();
      throw std::runtime_error("OpenSSL cannot set up " + name);
    }
  }
  ~EvpCipher() { Free(); }
  EvpCipher(const EvpCipher&) = delete;
  EvpCipher& operator=(const EvpCipher&) = delete;

  void Update(const unsigned char* in, unsigned char* out, std::size_t n) {
    int written = 0;
    if (EVP_CipherUpdate(m_ctx, out, &written, in, static_cast<int>(n)) != 1 ||
        static_cast<std::size_t>(written) != n) {
      throw std::runtime_error("EVP_CipherUpdate failed");
    }
  }

 private:
  void Free() {
    EVP_CIPHER_CTX_free(m_ctx);
    EVP_CIPHER_free(m_cipher);
    m_ctx = nullptr;
    m_cipher = nullptr;
  }
  EVP_CIPHER* m_cipher;
  EVP_CIPHER_CTX* m_ctx;
};

class EvpSha256 {
 public:
  EvpSha256() : m_md(EVP_MD_fetch(nullptr, "SHA256", nullptr)), m_ctx(EVP_MD_CTX_new()) {
    if (m_md == nullptr || m_ctx == nullptr) {
      Free();
      throw std::runtime_error("OpenSSL cannot set up SHA-256");
    }
  }
  ~EvpSha256() { Free(); }
  EvpSha256(const EvpSha256&) = delete;
  EvpSha256& operator=(const EvpSha256&) = delete;

  void Digest(const unsigned char* data, std::size_t n, unsigned char* digest) {
    unsigned int length = 0;
    if (EVP_DigestInit_ex2(m_ctx, m_md, nullptr) != 1 || EVP_DigestUpdate(m_ctx, data, n) != 1 ||
        EVP_DigestFinal_ex(m_ctx, digest, &length) != 1) {
      throw std::runtime_error("SHA-256 failed");
    }
  }

 private:
  void Free() {
    EVP_MD_CTX_free(m_ctx);
    EVP_MD_free(m_md);
    m_ctx = nullptr;
    m_md = nullptr;
  }
  EVP_MD* m_md;
  EVP_MD_CTX* m_ctx;
};

}  // namespace vantry::bench

#endif  // VANTRY_BENCH_OPENSSL_EVP_H_
