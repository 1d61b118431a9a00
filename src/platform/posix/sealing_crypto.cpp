// The sealed files' cryptography through OpenSSL 3's libcrypto.
#include "platform/sealing_crypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <climits>
#include <memory>

namespace vantry::platform::sealing {
namespace {

[[noreturn]] void Fail(const char* what) {
  const unsigned long code = ERR_get_error();
  char text[256] = "no detail";
  if (code != 0) {
    ERR_error_string_n(code, text, sizeof text);
  }
  ERR_clear_error();
  throw CryptoFailure(std::string(what) + " (" + text + ")");
}

void Check(int ok, const char* what) {
  if (ok != 1) {
    Fail(what);
  }
}

int ToInt(std::size_t n, const char* what) {
  if (n > static_cast<std::size_t>(INT_MAX)) {
    throw CryptoFailure(std::string(what) + ": input too large");
  }
  return static_cast<int>(n);
}

struct KdfDeleter {
  void operator()(EVP_KDF_CTX* ctx) const { EVP_KDF_CTX_free(ctx); }
};

}  // namespace

void RandomBytes(void* out, std::size_t n) {
  Check(RAND_bytes(static_cast<unsigned char*>(out), ToInt(n, "RAND_bytes")), "RAND_bytes");
}

void Pbkdf2Sha256(const void* passphrase, std::size_t passphraseSize, const void* salt,
                  std::size_t saltSize, std::uint32_t iterations, unsigned char out[kKeySize]) {
  // An empty passphrase is still a passphrase; OpenSSL wants a non-null pointer for it.
  static const char kEmpty = 0;
  const char* pass = passphraseSize == 0 ? &kEmpty : static_cast<const char*>(passphrase);
  if (iterations == 0 || iterations > static_cast<std::uint32_t>(INT_MAX)) {
    throw CryptoFailure("PBKDF2: iteration count out of range");
  }
  Check(PKCS5_PBKDF2_HMAC(pass, ToInt(passphraseSize, "PBKDF2"),
                          static_cast<const unsigned char*>(salt), ToInt(saltSize, "PBKDF2"),
                          static_cast<int>(iterations), EVP_sha256(), static_cast<int>(kKeySize),
                          out),
        "PBKDF2-HMAC-SHA256");
}

void HkdfSha256(const void* keyMaterial, std::size_t keyMaterialSize, const void* salt,
                std::size_t saltSize, const std::string& info, unsigned char* out,
                std::size_t outSize) {
  std::unique_ptr<EVP_KDF, decltype(&EVP_KDF_free)> kdf(EVP_KDF_fetch(nullptr, "HKDF", nullptr),
                                                        &EVP_KDF_free);
  if (!kdf) {
    Fail("HKDF fetch");
  }
  std::unique_ptr<EVP_KDF_CTX, KdfDeleter> ctx(EVP_KDF_CTX_new(kdf.get()));
  if (!ctx) {
    Fail("HKDF context");
  }
  char digest[] = "SHA256";
  unsigned char none = 0;
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<void*>(keyMaterial),
                                        keyMaterialSize),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT,
                                        saltSize == 0 ? &none : const_cast<void*>(salt), saltSize),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, const_cast<char*>(info.data()),
                                        info.size()),
      OSSL_PARAM_construct_end()};
  Check(EVP_KDF_derive(ctx.get(), out, outSize, params) == 1 ? 1 : 0, "HKDF-SHA256");
}

void HmacSha256(const unsigned char key[kKeySize], const void* data, std::size_t size,
                unsigned char out[kDigestSize]) {
  std::size_t outSize = 0;
  if (EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA256", nullptr, key, kKeySize,
                static_cast<const unsigned char*>(data), size, out, kDigestSize,
                &outSize) == nullptr ||
      outSize != kDigestSize) {
    Fail("HMAC-SHA256");
  }
}

void Sha256(const void* data, std::size_t size, unsigned char out[kDigestSize]) {
  Check(EVP_Digest(data, size, out, nullptr, EVP_sha256(), nullptr), "SHA-256");
}

struct AesGcm::State {
  EVP_CIPHER_CTX* encrypt = EVP_CIPHER_CTX_new();
  EVP_CIPHER_CTX* decrypt = EVP_CIPHER_CTX_new();
  // Freeing a context cleanses its key schedule.
  ~State() {
    EVP_CIPHER_CTX_free(encrypt);
    EVP_CIPHER_CTX_free(decrypt);
  }
};

AesGcm::AesGcm(const unsigned char key[kKeySize]) {
  std::unique_ptr<State> state(new State);
  if (state->encrypt == nullptr || state->decrypt == nullptr ||
      EVP_EncryptInit_ex(state->encrypt, EVP_aes_256_gcm(), nullptr, key, nullptr) != 1 ||
      EVP_DecryptInit_ex(state->decrypt, EVP_aes_256_gcm(), nullptr, key, nullptr) != 1) {
    Fail("AES-256-GCM key setup");
  }
  m_state = state.release();
}

AesGcm::~AesGcm() { delete m_state; }

void AesGcm::Seal(const unsigned char nonce[kNonceSize], const unsigned char* plain,
                  std::size_t size, unsigned char* out, unsigned char tag[kTagSize]) {
  EVP_CIPHER_CTX* ctx = m_state->encrypt;
  int n = 0;
  Check(EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, nonce), "AES-GCM nonce");
  if (size > 0) {
    Check(EVP_EncryptUpdate(ctx, out, &n, plain, ToInt(size, "AES-GCM")), "AES-GCM encrypt");
  }
  Check(EVP_EncryptFinal_ex(ctx, out + n, &n), "AES-GCM finish");
  Check(EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, static_cast<int>(kTagSize), tag),
        "AES-GCM tag");
}

bool AesGcm::Open(const unsigned char nonce[kNonceSize], const unsigned char* cipherText,
                  std::size_t size, const unsigned char tag[kTagSize], unsigned char* out) {
  EVP_CIPHER_CTX* ctx = m_state->decrypt;
  int n = 0;
  Check(EVP_DecryptInit_ex(ctx, nullptr, nullptr, nullptr, nonce), "AES-GCM nonce");
  if (size > 0) {
    Check(EVP_DecryptUpdate(ctx, out, &n, cipherText, ToInt(size, "AES-GCM")), "AES-GCM decrypt");
  }
  unsigned char tagCopy[kTagSize];
  for (std::size_t i = 0; i < kTagSize; ++i) {
    tagCopy[i] = tag[i];
  }
  Check(EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, static_cast<int>(kTagSize), tagCopy),
        "AES-GCM tag");
  if (EVP_DecryptFinal_ex(ctx, out + n, &n) != 1) {
    ERR_clear_error();
    OPENSSL_cleanse(out, size);
    return false;
  }
  return true;
}

}  // namespace vantry::platform::sealing

namespace vantry::platform::sealing {
namespace {

struct PkeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct PkeyContextDeleter {
  void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyDeleter>;

// OpenSSL keeps the raw private key in the EVP_PKEY and cleanses it when the key is freed.
Pkey PrivateKey(const unsigned char privateKey[kX25519Size]) {
  Pkey key(EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, privateKey, kX25519Size));
  if (!key) {
    Fail("X25519 private key");
  }
  return key;
}

}  // namespace

bool HasX25519() noexcept { return true; }

void X25519Generate(unsigned char privateKey[kX25519Size], unsigned char publicKey[kX25519Size]) {
  RandomBytes(privateKey, kX25519Size);
  X25519Public(privateKey, publicKey);
}

void X25519Public(const unsigned char privateKey[kX25519Size],
                  unsigned char publicKey[kX25519Size]) {
  const Pkey key = PrivateKey(privateKey);
  std::size_t size = kX25519Size;
  Check(EVP_PKEY_get_raw_public_key(key.get(), publicKey, &size), "X25519 public key");
}

bool X25519Shared(const unsigned char privateKey[kX25519Size],
                  const unsigned char peerPublicKey[kX25519Size],
                  unsigned char shared[kX25519Size]) {
  const Pkey key = PrivateKey(privateKey);
  const Pkey peer(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, peerPublicKey, kX25519Size));
  if (!peer) {
    Fail("X25519 public key");
  }
  std::unique_ptr<EVP_PKEY_CTX, PkeyContextDeleter> ctx(
      EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
  if (!ctx) {
    Fail("X25519 context");
  }
  Check(EVP_PKEY_derive_init(ctx.get()), "X25519 derive");
  Check(EVP_PKEY_derive_set_peer(ctx.get(), peer.get()), "X25519 peer");
  std::size_t size = kX25519Size;
  // OpenSSL refuses an all-zero result itself; either way the caller hears false.
  if (EVP_PKEY_derive(ctx.get(), shared, &size) != 1 || size != kX25519Size) {
    ERR_clear_error();
    OPENSSL_cleanse(shared, kX25519Size);
    return false;
  }
  unsigned char any = 0;
  for (std::size_t i = 0; i < kX25519Size; ++i) {
    any = static_cast<unsigned char>(any | shared[i]);
  }
  return any != 0;
}

}  // namespace vantry::platform::sealing
