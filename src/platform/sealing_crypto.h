// The cryptography of sealed files, taken from the operating system's vetted implementations
// (OpenSSL 3's libcrypto on POSIX, CNG on Windows) so that the library carries no AES-GCM,
// GHASH, HMAC, HKDF or PBKDF2 of its own. Every function throws CryptoFailure when the
// provider fails (it does not for valid arguments); a failed authentication is not a failure
// but AesGcm::Open's false.
#ifndef VANTRY_PLATFORM_SEALING_CRYPTO_H_
#define VANTRY_PLATFORM_SEALING_CRYPTO_H_

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vantry::platform::sealing {

inline constexpr std::size_t kKeySize = 32;     // AES-256, HMAC-SHA256 and HKDF outputs
inline constexpr std::size_t kNonceSize = 12;   // the GCM nonce
inline constexpr std::size_t kTagSize = 16;     // the GCM tag
inline constexpr std::size_t kDigestSize = 32;  // SHA-256

class CryptoFailure : public std::runtime_error {
 public:
  explicit CryptoFailure(const std::string& what)
      : std::runtime_error("the system's cryptography failed: " + what) {}
};

// n bytes from the system's random source.
void RandomBytes(void* out, std::size_t n);

// PBKDF2-HMAC-SHA256 (RFC 8018) of the passphrase bytes as given, kKeySize bytes.
void Pbkdf2Sha256(const void* passphrase, std::size_t passphraseSize, const void* salt,
                  std::size_t saltSize, std::uint32_t iterations, unsigned char out[kKeySize]);

// HKDF-SHA256 (RFC 5869): extract with salt, expand with info, outSize bytes (at most 255 * 32).
void HkdfSha256(const void* keyMaterial, std::size_t keyMaterialSize, const void* salt,
                std::size_t saltSize, const std::string& info, unsigned char* out,
                std::size_t outSize);

// HMAC-SHA256 (RFC 2104) with a kKeySize key.
void HmacSha256(const unsigned char key[kKeySize], const void* data, std::size_t size,
                unsigned char out[kDigestSize]);

// SHA-256 of data.
void Sha256(const void* data, std::size_t size, unsigned char out[kDigestSize]);

// X25519 (RFC 7748) for sealing to a public key. Windows' CNG as the Wine test system has it
// offers no X25519, so there these throw NotAvailable and HasX25519 is false.
inline constexpr std::size_t kX25519Size = 32;

class NotAvailable : public std::runtime_error {
 public:
  explicit NotAvailable(const std::string& what)
      : std::runtime_error(what + " is not available on this system") {}
};

bool HasX25519() noexcept;

// A fresh private key and its public key.
void X25519Generate(unsigned char privateKey[kX25519Size], unsigned char publicKey[kX25519Size]);

// The public key of a private key.
void X25519Public(const unsigned char privateKey[kX25519Size],
                  unsigned char publicKey[kX25519Size]);

// The shared secret of a private key and a peer's public key; false when it is all zero (a
// peer key of small order, which would make the secret known to anyone).
bool X25519Shared(const unsigned char privateKey[kX25519Size],
                  const unsigned char peerPublicKey[kX25519Size],
                  unsigned char shared[kX25519Size]);

// AES-256-GCM (NIST SP 800-38D) under one key, a 12-byte nonce per message, no associated
// data. The key schedule lives in the provider and is wiped when the object goes.
class AesGcm {
 public:
  explicit AesGcm(const unsigned char key[kKeySize]);
  ~AesGcm();
  AesGcm(const AesGcm&) = delete;
  AesGcm& operator=(const AesGcm&) = delete;

  // Writes size bytes of cipher text to out (which may be plain) and the tag to tag.
  void Seal(const unsigned char nonce[kNonceSize], const unsigned char* plain, std::size_t size,
            unsigned char* out, unsigned char tag[kTagSize]);
  // Writes size bytes of plain text to out (which may be cipherText) and returns whether the
  // tag authenticates them. On false out holds nothing the caller may use (it is wiped).
  bool Open(const unsigned char nonce[kNonceSize], const unsigned char* cipherText,
            std::size_t size, const unsigned char tag[kTagSize], unsigned char* out);

 private:
  struct State;
  State* m_state;
};

}  // namespace vantry::platform::sealing

#endif  // VANTRY_PLATFORM_SEALING_CRYPTO_H_
