// The sealed file's layout and key schedule, shared by sealing and unsealing (the document is
// docs/sealed-format.md; this file and it must say the same).
#ifndef VANTRY_SEALED_SEALED_FORMAT_H_
#define VANTRY_SEALED_SEALED_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/sealing_crypto.h"
#include "vantry/sealed.h"

namespace vantry::sealed {

inline constexpr unsigned char kMagic[8] = {0x89, 'V', 'T', 'Y', 'S', '\r', '\n', 0x1A};
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::size_t kPrefixSize = 7;
inline constexpr std::size_t kCheckSize = 32;
inline constexpr std::size_t kDigestSize = 8;  // the header's keyless damage check
inline constexpr std::size_t kMacSize = 32;
inline constexpr std::size_t kSecretIdSize = 16;
inline constexpr std::size_t kSegmentSize = 65536;
inline constexpr std::size_t kTagSize = platform::sealing::kTagSize;
inline constexpr std::size_t kChunkSize = kSegmentSize + kTagSize;
// magic, version, kind, parameter length
inline constexpr std::size_t kFixedSize = sizeof kMagic + 1 + 1 + 2;
// salt, nonce prefix, key check, digest, MAC
inline constexpr std::size_t kTrailerSize =
    kSaltSize + kPrefixSize + kCheckSize + kDigestSize + kMacSize;

// The parameters' length for a key kind, kVariableSize for the data protection kinds (a blob
// of 1 to kMaxBlobSize bytes), or -1 for a kind this version does not know.
inline constexpr int kVariableSize = -2;
inline constexpr std::size_t kMaxBlobSize = 4096;
int ParameterSize(std::uint8_t kind) noexcept;

struct Header {
  SealedKeyKind kind = SealedKeyKind::kRawKey;
  std::uint32_t iterations = 0;                // kPassphrase
  unsigned char secretId[kSecretIdSize] = {};  // kAccountSecret, kMachineSecret
  std::vector<unsigned char> blob;             // kWindowsAccount, kWindowsMachine
  unsigned char salt[kSaltSize] = {};
  unsigned char prefix[kPrefixSize] = {};
  unsigned char keyCheck[kCheckSize] = {};
};

// The three keys of one file, wiped when they go.
struct FileKeys {
  unsigned char check[kCheckSize];
  unsigned char mac[platform::sealing::kKeySize];
  unsigned char payload[platform::sealing::kKeySize];
  FileKeys() = default;
  FileKeys(const FileKeys&) = delete;
  FileKeys& operator=(const FileKeys&) = delete;
  ~FileKeys();
};

// HKDF-SHA256(keyMaterial, salt, "vantry sealed v1 " + label) for each key.
void DeriveFileKeys(const unsigned char keyMaterial[32], const unsigned char salt[kSaltSize],
                    FileKeys& keys);

// Big-endian integers of 1 to 4 bytes.
void AppendBigEndian(std::vector<unsigned char>& out, std::uint32_t value, int bytes);
std::uint32_t ReadBigEndian(const unsigned char* p, int bytes) noexcept;

// HKDF-SHA256(keyMaterial, salt, "vantry sealed v<version> " + label) for each key.
void DeriveFileKeys(const unsigned char keyMaterial[32], const unsigned char salt[kSaltSize],
                    FileKeys& keys, int version);

// Where the secret of kind (kAccountSecret or kMachineSecret) is. Throws SealedError
// (kSecretUnavailable) when it cannot be told.
std::string SecretPath(SealedKeyKind kind);

// Runs act, which works on kind's secret files, turning their failures into SealedError
// (kSecretUnavailable) with the file's own account of what to do.
void WithSecretFile(SealedKeyKind kind, const std::function<void()>& act);

// The account's or machine's secret (kind kAccountSecret or kMachineSecret) into out, created
// when missing if create is set; false when it is missing. Throws SealedError
// (kSecretUnavailable) for a secret that cannot be used.
bool ReadSecret(SealedKeyKind kind, bool create, unsigned char out[32]);

// The secret of kind whose identifier is id into out: the current one, or one kept beside it
// since another replaced it. Throws SealedError: kOtherAccount naming id, the current secret's
// identifier (or that there is none) and the command that restores a backup;
// kSecretUnavailable as ReadSecret.
void OpenSecret(SealedKeyKind kind, const unsigned char id[kSecretIdSize],
                const std::string& fileName, unsigned char out[32]);

// How messages name a key of this kind ("a passphrase").
const char* KindPhrase(SealedKeyKind kind);

// A file sealed for an account's or machine's secret of fileKind, met with such a key of
// another kind: of the other system's kinds, or the machine's where the account's was given
// (or the reverse). Throws SealedError (kOtherAccount) naming what to open it with.
[[noreturn]] void OtherOwner(SealedKeyKind fileKind, SealedKeyKind keyKind,
                             const std::string& fileName);

// The 16-byte identifier a header stores for an account or machine secret.
void SecretId(const unsigned char secret[32], unsigned char id[kSecretIdSize]);

// The header up to and including the key check (what the digest and MAC cover, with the digest
// also covered by the MAC).
std::vector<unsigned char> EncodeHeaderBody(const Header& header);

// Appends the digest and MAC to body.
void SealHeader(std::vector<unsigned char>& body, const unsigned char macKey[32]);

// The nonce of segment index (counted from 0).
void SegmentNonce(const unsigned char prefix[kPrefixSize], std::uint32_t index, bool last,
                  unsigned char nonce[platform::sealing::kNonceSize]);

// The key material of a key for a header: PBKDF2 of a passphrase, the raw key, or the secret
// (read, and created when create is set). Fills the header's kind-specific fields for sealing
// (iterations, secret id) or checks them for unsealing (then fileName names the file).
// Throws SealedError.
void KeyMaterial(const SealedKey& key, Header& header, bool sealing, const std::string& fileName,
                 unsigned char out[32]);

}  // namespace vantry::sealed

#endif  // VANTRY_SEALED_SEALED_FORMAT_H_
