// The sealed files' cryptography through CNG (bcrypt): AES-256-GCM, PBKDF2-HMAC-SHA256,
// HMAC-SHA256, SHA-256 and the system random source. CNG has no HKDF of its own before
// Windows 10, so HKDF is built from its HMAC exactly as RFC 5869 states it.
#include "platform/sealing_crypto.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/secure_wipe.h"
#include "platform/windows/win32.h"
// bcrypt.h needs the types of windows.h (through win32.h) first.
#include <bcrypt.h>

namespace vantry::platform::sealing {
namespace {

constexpr NTSTATUS kAuthTagMismatch = static_cast<NTSTATUS>(0xC000A002L);

void Check(NTSTATUS status, const char* what) {
  if (status < 0) {
    char text[32];
    std::snprintf(text, sizeof text, " (NTSTATUS 0x%08lX)", static_cast<unsigned long>(status));
    throw CryptoFailure(std::string(what) + text);
  }
}

ULONG ToUlong(std::size_t n, const char* what) {
  if (n > 0xFFFFFFFFu) {
    throw CryptoFailure(std::string(what) + ": input too large");
  }
  return static_cast<ULONG>(n);
}

class Algorithm {
 public:
  Algorithm(LPCWSTR id, ULONG flags) {
    Check(BCryptOpenAlgorithmProvider(&m_handle, id, nullptr, flags),
          "BCryptOpenAlgorithmProvider");
  }
  ~Algorithm() { BCryptCloseAlgorithmProvider(m_handle, 0); }
  Algorithm(const Algorithm&) = delete;
  Algorithm& operator=(const Algorithm&) = delete;
  BCRYPT_ALG_HANDLE get() const { return m_handle; }

 private:
  BCRYPT_ALG_HANDLE m_handle = nullptr;
};

struct Piece {
  const void* data;
  std::size_t size;
};

// HMAC-SHA256 with a key of any length over the pieces in turn; key NULL is plain SHA-256.
void Mac(const void* key, std::size_t keySize, std::initializer_list<Piece> pieces,
         unsigned char out[kDigestSize]) {
  Algorithm algorithm(BCRYPT_SHA256_ALGORITHM, key != nullptr ? BCRYPT_ALG_HANDLE_HMAC_FLAG : 0);
  BCRYPT_HASH_HANDLE hash = nullptr;
  Check(BCryptCreateHash(algorithm.get(), &hash, nullptr, 0,
                         key != nullptr ? static_cast<PUCHAR>(const_cast<void*>(key)) : nullptr,
                         key != nullptr ? ToUlong(keySize, "HMAC") : 0, 0),
        "BCryptCreateHash");
  std::unique_ptr<void, NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE)> owner(hash, BCryptDestroyHash);
  for (const Piece& piece : pieces) {
    if (piece.size > 0) {
      Check(BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(piece.data)),
                           ToUlong(piece.size, "hash"), 0),
            "BCryptHashData");
    }
  }
  Check(BCryptFinishHash(hash, out, kDigestSize, 0), "BCryptFinishHash");
}

}  // namespace

void RandomBytes(void* out, std::size_t n) {
  Check(BCryptGenRandom(nullptr, static_cast<PUCHAR>(out), ToUlong(n, "random"),
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG),
        "BCryptGenRandom");
}

void Pbkdf2Sha256(const void* passphrase, std::size_t passphraseSize, const void* salt,
                  std::size_t saltSize, std::uint32_t iterations, unsigned char out[kKeySize]) {
  if (iterations == 0) {
    throw CryptoFailure("PBKDF2: iteration count out of range");
  }
  Algorithm algorithm(BCRYPT_SHA256_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
  static unsigned char kEmpty = 0;
  Check(BCryptDeriveKeyPBKDF2(
            algorithm.get(),
            passphraseSize == 0 ? &kEmpty : static_cast<PUCHAR>(const_cast<void*>(passphrase)),
            ToUlong(passphraseSize, "PBKDF2"), static_cast<PUCHAR>(const_cast<void*>(salt)),
            ToUlong(saltSize, "PBKDF2"), iterations, out, kKeySize, 0),
        "BCryptDeriveKeyPBKDF2");
}

void HkdfSha256(const void* keyMaterial, std::size_t keyMaterialSize, const void* salt,
                std::size_t saltSize, const std::string& info, unsigned char* out,
                std::size_t outSize) {
  if (outSize > 255 * kDigestSize) {
    throw CryptoFailure("HKDF: output too long");
  }
  // Extract: PRK = HMAC(salt, IKM), a salt of HashLen zero bytes when none is given.
  const unsigned char zeros[kDigestSize] = {};
  unsigned char prk[kDigestSize];
  Mac(saltSize == 0 ? zeros : salt, saltSize == 0 ? sizeof zeros : saltSize,
      {{keyMaterial, keyMaterialSize}}, prk);
  // Expand: T(i) = HMAC(PRK, T(i-1) | info | i).
  unsigned char block[kDigestSize];
  std::size_t done = 0;
  for (unsigned char i = 1; done < outSize; ++i) {
    Mac(prk, sizeof prk, {{block, i == 1 ? 0u : sizeof block}, {info.data(), info.size()}, {&i, 1}},
        block);
    const std::size_t take = outSize - done < sizeof block ? outSize - done : sizeof block;
    std::memcpy(out + done, block, take);
    done += take;
  }
  SecureWipe(prk, sizeof prk);
  SecureWipe(block, sizeof block);
}

void HmacSha256(const unsigned char key[kKeySize], const void* data, std::size_t size,
                unsigned char out[kDigestSize]) {
  Mac(key, kKeySize, {{data, size}}, out);
}

void Sha256(const void* data, std::size_t size, unsigned char out[kDigestSize]) {
  Mac(nullptr, 0, {{data, size}}, out);
}

struct AesGcm::State {
  Algorithm algorithm{BCRYPT_AES_ALGORITHM, 0};
  BCRYPT_KEY_HANDLE key = nullptr;
  ~State() {
    // Destroying the key frees (and clears) the key object CNG keeps for it.
    if (key != nullptr) {
      BCryptDestroyKey(key);
    }
  }
};

AesGcm::AesGcm(const unsigned char key[kKeySize]) {
  std::unique_ptr<State> state(new State);
  Check(BCryptSetProperty(state->algorithm.get(), BCRYPT_CHAINING_MODE,
                          reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_GCM)),
                          sizeof(BCRYPT_CHAIN_MODE_GCM), 0),
        "AES-GCM mode");
  Check(BCryptGenerateSymmetricKey(state->algorithm.get(), &state->key, nullptr, 0,
                                   const_cast<PUCHAR>(key), kKeySize, 0),
        "AES-GCM key setup");
  m_state = state.release();
}

AesGcm::~AesGcm() { delete m_state; }

namespace {

BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO ModeInfo(const unsigned char* nonce, unsigned char* tag) {
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
  BCRYPT_INIT_AUTH_MODE_INFO(info);
  info.pbNonce = const_cast<PUCHAR>(nonce);
  info.cbNonce = kNonceSize;
  info.pbTag = tag;
  info.cbTag = kTagSize;
  return info;
}

}  // namespace

void AesGcm::Seal(const unsigned char nonce[kNonceSize], const unsigned char* plain,
                  std::size_t size, unsigned char* out, unsigned char tag[kTagSize]) {
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = ModeInfo(nonce, tag);
  ULONG written = 0;
  Check(BCryptEncrypt(m_state->key, const_cast<PUCHAR>(plain), ToUlong(size, "AES-GCM"), &info,
                      nullptr, 0, out, ToUlong(size, "AES-GCM"), &written, 0),
        "AES-GCM encrypt");
}

bool AesGcm::Open(const unsigned char nonce[kNonceSize], const unsigned char* cipherText,
                  std::size_t size, const unsigned char tag[kTagSize], unsigned char* out) {
  unsigned char tagCopy[kTagSize];
  std::memcpy(tagCopy, tag, kTagSize);
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = ModeInfo(nonce, tagCopy);
  ULONG written = 0;
  const NTSTATUS status =
      BCryptDecrypt(m_state->key, const_cast<PUCHAR>(cipherText), ToUlong(size, "AES-GCM"), &info,
                    nullptr, 0, out, ToUlong(size, "AES-GCM"), &written, 0);
  if (status == kAuthTagMismatch) {
    SecureWipe(out, size);
    return false;
  }
  Check(status, "AES-GCM decrypt");
  return true;
}

}  // namespace vantry::platform::sealing

namespace vantry::platform::sealing {

// CNG has ECDH on Curve25519 only from Windows 10, and the Wine the DLL is tested under has
// none: recipients stay a POSIX feature, and a file with another slot still opens here.
bool HasX25519() noexcept { return false; }

void X25519Generate(unsigned char*, unsigned char*) { throw NotAvailable("X25519"); }

void X25519Public(const unsigned char*, unsigned char*) { throw NotAvailable("X25519"); }

bool X25519Shared(const unsigned char*, const unsigned char*, unsigned char*) {
  throw NotAvailable("X25519");
}

}  // namespace vantry::platform::sealing
