// Sealed files: authenticated encryption of any data stream, beside the protected files of
// streams.h (which stay as they are for the hosts and files that rely on them), over the
// readers and writers of byte_io.h.
//
// A sealed file is a header (magic, version, key kind and its parameters, a random salt and
// nonce prefix, a 32-byte key check and an HMAC-SHA256 over the header) followed by the data in
// 64 KiB segments, each sealed with AES-256-GCM under the STREAM construction. The exact layout
// is docs/sealed-format.md. Unsealing authenticates every byte: a wrong key, a changed,
// reordered, dropped, duplicated or appended segment, and a file cut short are each reported
// (SealedError) and never pass as data. The exact length is kept.
//
// Sealing and unsealing stream through ByteReader and ByteWriter in fixed memory, whatever the
// size of the data.
#ifndef VANTRY_SEALED_H_
#define VANTRY_SEALED_H_

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "vantry/byte_io.h"
#include "vantry/export.h"

namespace vantry {

// What a sealed file's key comes from (the numbers are those stored in the header).
enum class SealedKeyKind : std::uint8_t {
  kPassphrase = 1,     // PBKDF2-HMAC-SHA256 of the whole passphrase
  kRawKey = 2,         // 32 bytes given by the caller
  kAccountSecret = 3,  // this account's secret (created on first use)
  kMachineSecret = 4,  // this machine's secret (created by root on first use)
  // On Windows the account's and machine's keys are the data protection API's: a random file
  // key, wrapped by CryptProtectData (user or local-machine scope), stored in the header.
  kWindowsAccount = 5,
  kWindowsMachine = 6,
};

// A short name of the kind for a host to show ("passphrase", "raw key", "account secret", ...;
// "unknown" for a number outside the enumeration). The library's own messages word the kinds
// in sentences of their own; this is for hosts, and part of the library's exported interface.
VANTRY_API const char* SealedKeyKindName(SealedKeyKind kind) noexcept;

// PBKDF2's iteration count for new files, and the most a file may ask for when it is read (so
// that a hostile header cannot make an unseal run for many minutes).
inline constexpr std::uint32_t kSealedDefaultIterations = 600000;
inline constexpr std::uint32_t kSealedMaxIterations = 10000000;

// A key for sealing or unsealing. Secrets are wiped when the key goes.
class VANTRY_API SealedKey {
 public:
  // The whole passphrase, bytes as given (no length limit, NULs included). iterations applies
  // to sealing and must lie between kSealedDefaultIterations and kSealedMaxIterations;
  // unsealing takes the file's own count.
  static SealedKey Passphrase(const std::string& passphrase,
                              std::uint32_t iterations = kSealedDefaultIterations);
  // Exactly 32 bytes.
  static SealedKey Raw(const void* key, std::size_t size);
  // This account's or machine's key: the secret file on POSIX (kinds 3, 4), the data
  // protection API on Windows (kinds 5, 6).
  static SealedKey AccountSecret();
  static SealedKey MachineSecret();

  SealedKey(const SealedKey& other);
  SealedKey& operator=(const SealedKey& other);
  ~SealedKey();

  SealedKeyKind kind() const noexcept { return m_kind; }
  std::uint32_t iterations() const noexcept { return m_iterations; }
  // The passphrase or raw key bytes (empty for the secrets, which are read when used).
  const std::string& material() const noexcept { return m_material; }

 private:
  SealedKey(SealedKeyKind kind, std::string material, std::uint32_t iterations);
  SealedKeyKind m_kind;
  std::string m_material;
  std::uint32_t m_iterations;
};

// Why a file could not be unsealed (or a key not used). what() is a sentence for the user that
// names the file as the caller passed it.
class VANTRY_API SealedError : public std::runtime_error {
 public:
  enum class Kind {
    kNotSealed,           // no sealed file's magic (a protected file, or another file)
    kUnsupportedVersion,  // a sealed file of a later version
    kWrongKey,            // the key check does not match the key
    kWrongKind,           // sealed with another kind of key (for example a passphrase)
    kOtherAccount,        // sealed with another account's or machine's secret
    kDamaged,             // the header or a segment does not authenticate
    kTruncated,           // the file ends before its last segment
    kSecretUnavailable,   // the account's or machine's secret cannot be read or created
    kInvalidKey,          // a key the format cannot take (raw key size, iteration count)
  };
  SealedError(Kind kind, const std::string& what, std::int64_t segment = -1,
              std::int64_t offset = -1);
  ~SealedError() override;
  Kind kind() const noexcept { return m_kind; }
  // For kDamaged in the payload: the segment (counted from 1) and the byte offset in the file
  // where it starts; -1 otherwise.
  std::int64_t segment() const noexcept { return m_segment; }
  std::int64_t offset() const noexcept { return m_offset; }

 private:
  Kind m_kind;
  std::int64_t m_segment;
  std::int64_t m_offset;
};

// Seals everything input holds to output under a fresh random salt and nonce prefix. Memory is
// fixed. Does not commit output. Throws SealedError (kInvalidKey, kSecretUnavailable) and the
// FileErrors of input and output.
VANTRY_API void SealStream(const SealedKey& key, ByteReader& input, ByteWriter& output);

// Authenticates the header (before anything is written), then writes each segment's plain text
// to output only after that segment has authenticated. Throws SealedError naming inputName, and
// the FileErrors of input and output. Does not commit output: a caller that commits only after
// a normal return gives its named output nothing that was not authenticated as a whole.
VANTRY_API void UnsealStream(const SealedKey& key, ByteReader& input, const std::string& inputName,
                             ByteWriter& output);

// Whether the first bytes of a file are a sealed file's magic (8 bytes are enough).
VANTRY_API bool LooksSealed(const void* firstBytes, std::size_t size) noexcept;

// A ByteWriter that seals what is written to it into output: Commit seals the last segment and
// commits output. For a producer that pushes (DecryptStream, for instance) rather than a reader.
class VANTRY_API SealingWriter : public ByteWriter {
 public:
  SealingWriter(const SealedKey& key, ByteWriter& output);
  ~SealingWriter() override;
  void Write(const void* data, std::size_t n) override;
  void Commit() override;

 private:
  struct State;
  State* m_state;
};

}  // namespace vantry

#endif  // VANTRY_SEALED_H_
