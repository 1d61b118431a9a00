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
#include <vector>

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
  // An X25519 public key (a recipient): anyone may seal to it, only the holder of its private
  // key (the identity) unseals. Not available on Windows.
  kRecipient = 7,
  // A random key sealed by this machine's TPM 2.0, optionally bound to the present values of
  // some SHA-256 PCRs: a copied disk or a restored backup does not open elsewhere. The TPM is
  // the one VANTRY_TPM_TCTI names (a TCTI configuration), else /dev/tpmrm0. Not available on
  // Windows.
  kTpm = 8,
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
  // The whole passphrase, bytes as given (no length limit, NULs included; not empty, which is
  // SealedError kInvalidKey). iterations applies
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
  // A recipient's 32-byte X25519 public key, for sealing; an identity's 32-byte private key,
  // for unsealing. Both kRecipient; kNotAvailable where the system has no X25519.
  static SealedKey Recipient(const void* publicKey, std::size_t size);
  static SealedKey Identity(const void* privateKey, std::size_t size);
  // This machine's TPM. For sealing, pcrMask binds the key to the present values of those
  // SHA-256 PCRs (bit n for PCR n, 0 to 23; 0 for none: the key then opens on this TPM
  // whatever they hold); unsealing reads the PCRs from the file's slot.
  static SealedKey Tpm(std::uint32_t pcrMask = 0);

  SealedKey(const SealedKey& other);
  SealedKey& operator=(const SealedKey& other);
  ~SealedKey();

  SealedKeyKind kind() const noexcept { return m_kind; }
  std::uint32_t iterations() const noexcept { return m_iterations; }
  // The passphrase or raw key bytes (empty for the secrets, which are read when used).
  const std::string& material() const noexcept { return m_material; }
  // The PCRs a TPM key binds to (0 for the other kinds).
  std::uint32_t pcrs() const noexcept { return m_pcrs; }

 private:
  SealedKey(SealedKeyKind kind, std::string material, std::uint32_t iterations);
  SealedKeyKind m_kind;
  std::string m_material;
  std::uint32_t m_iterations;
  std::uint32_t m_pcrs = 0;
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
    kNotAvailable,        // a kind of key this system cannot use (recipients on Windows, no TPM)
    kBootStateChanged,    // the TPM's PCRs a TPM slot is bound to changed since sealing
    kTpmLockout,          // the TPM is in dictionary-attack lockout
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
// FileErrors of input and output. Input and output are called on the calling thread alone, in
// order; past 512 KiB of data the cipher runs on a second thread meanwhile (it takes no
// signals, and has ended when the call returns or throws). So does UnsealStream.
VANTRY_API void SealStream(const SealedKey& key, ByteReader& input, ByteWriter& output);

// Authenticates the header (before anything is written), then writes each segment's plain text
// to output only after that segment has authenticated. Throws SealedError naming inputName, and
// the FileErrors of input and output. Does not commit output: a caller that commits only after
// a normal return gives its named output nothing that was not authenticated as a whole.
VANTRY_API void UnsealStream(const SealedKey& key, ByteReader& input, const std::string& inputName,
                             ByteWriter& output);

// Whether the first bytes of a file are a sealed file's magic (8 bytes are enough), or the
// begin line of an armored one (34 bytes: see ArmoringWriter).
VANTRY_API bool LooksSealed(const void* firstBytes, std::size_t size) noexcept;

// A ByteWriter that passes what is written to it on to output as text, for mail, a paste or a
// terminal: the line "-----BEGIN VANTRY SEALED FILE-----", the bytes in base64 (RFC 4648,
// padded) in lines of 64 characters, then "-----END VANTRY SEALED FILE-----", every line
// ended by LF (docs/sealed-format.md, "Armor"). Give it as the output of SealStream, a
// SealingWriter or ChangeSealedSlots to write an armored sealed file; UnsealStream,
// ListSealedSlots and ChangeSealedSlots read one as they read a binary one (and
// ChangeSealedSlots keeps it armored). Memory is fixed.
class VANTRY_API ArmoringWriter : public ByteWriter {
 public:
  explicit ArmoringWriter(ByteWriter& output);
  ~ArmoringWriter() override;
  void Write(const void* data, std::size_t n) override;
  // Writes the last line and the end line without committing output; once only.
  void Finish();
  // Finish, then commits output.
  void Commit() override;

 private:
  struct State;
  State* m_state;
};

// A ByteWriter that seals what is written to it into output: Commit seals the last segment and
// commits output. For a producer that pushes (DecryptStream, for instance) rather than a reader.
class VANTRY_API SealingWriter : public ByteWriter {
 public:
  SealingWriter(const SealedKey& key, ByteWriter& output);
  // A slot for each of keys (1 to kSealedMaxKeys).
  SealingWriter(const std::vector<SealedKey>& keys, ByteWriter& output);
  ~SealingWriter() override;
  void Write(const void* data, std::size_t n) override;
  void Commit() override;

 private:
  struct State;
  State* m_state;
};

// Several keys for one file: a random file key, wrapped in a slot for each key (at most
// kSealedMaxKeys); any one of them unseals. Changing keys rewrites the header only.
inline constexpr std::size_t kSealedMaxKeys = 16;

// As SealStream, with a slot for each of keys.
VANTRY_API void SealStream(const std::vector<SealedKey>& keys, ByteReader& input,
                           ByteWriter& output);

// As UnsealStream, opening the file with whichever of keys has a slot in it.
VANTRY_API void UnsealStream(const std::vector<SealedKey>& keys, ByteReader& input,
                             const std::string& inputName, ByteWriter& output);

// One slot of a sealed file as a listing shows it: its kind, the kind's name ("passphrase",
// "recipient"; "unknown kind N" for a kind this version does not know) and what identifies it
// or what it costs ("600000 PBKDF2 iterations", "secret 5f0c...", "recipient tag 1a2b3c4d"),
// never a secret.
struct SealedSlot {
  std::uint8_t kind = 0;
  std::string name;
  std::string detail;
};

// The format version of the sealed file input holds and its slots, read from the header
// without a key (a version-1 file has one). Throws SealedError naming inputName.
VANTRY_API int ListSealedSlots(ByteReader& input, const std::string& inputName,
                               std::vector<SealedSlot>& slots);

// Writes to output the sealed file input holds with slots removed (numbers counted from 1, as
// ListSealedSlots lists them) and one slot added for each of add, once one of openWith opened
// it. A version-2 file keeps its payload byte for byte (only the header is new); a version-1
// file becomes version 2, re-encrypted as it streams (no plain text is stored), with a slot
// for the key that opened it unless slot 1 is removed. Throws SealedError (kInvalidKey: no
// such slot, or no slot left) and the FileErrors of input and output. Does not commit output.
VANTRY_API void ChangeSealedSlots(const std::vector<SealedKey>& openWith,
                                  const std::vector<std::size_t>& remove,
                                  const std::vector<SealedKey>& add, ByteReader& input,
                                  const std::string& inputName, ByteWriter& output);

// Recipients and identities as text: "vantry1..." (a recipient, to share) and
// "VANTRY-SECRET-KEY-1..." (its identity, to keep secret), with a checksum that refuses a
// mistyped or cut text (SealedError kInvalidKey; kNotAvailable on Windows).
VANTRY_API SealedKey RecipientFromText(const std::string& text);
VANTRY_API SealedKey IdentityFromText(const std::string& text);
// The recipient text of an identity text.
VANTRY_API std::string RecipientOfIdentity(const std::string& identityText);

// One line of a recipients or identity file's text that holds a key: its number (from 1) and
// its text, without the line end (LF or CRLF) and trailing blanks.
struct KeyFileLine {
  std::size_t number = 0;
  std::string text;
};
// The lines of text that hold a key: blank lines and comments (a '#' first) are skipped.
VANTRY_API std::vector<KeyFileLine> KeyFileLines(const std::string& text);

// A new identity: its text (a secret, wiped when the object goes) and its recipient's text.
class VANTRY_API NewIdentity {
 public:
  NewIdentity();
  NewIdentity(const NewIdentity&) = delete;
  NewIdentity& operator=(const NewIdentity&) = delete;
  ~NewIdentity();
  const std::string& identity() const noexcept { return m_identity; }
  const std::string& recipient() const noexcept { return m_recipient; }

 private:
  std::string m_identity;
  std::string m_recipient;
};

// Recovery recipients: whoever holds the identity of one opens every file sealed with the
// account's or machine's secret (a default seal), as an organization that must recover its
// members' data asks. They are listed, one a line as in a recipients file, by the
// administrator in /etc/vantry/recovery-recipients (owned by root) and by the user in
// $XDG_CONFIG_HOME/vantry/recovery-recipients (else ~/.config/vantry/recovery-recipients).
// A missing list is an empty one; a list others could change (itself or a folder on its way,
// as for a key file) or with a line that is not a recipient fails every default seal
// (SealedError kSecretUnavailable naming the list and what to do) rather than let a seal
// leave out a recipient the list asks for. On Windows, which has no recipients, there are none.
struct RecoveryRecipient {
  std::string recipient;  // its text, "vantry1..."
  std::string list;       // the list that names it
};

// The recipients of both lists, the administrator's first, each once.
VANTRY_API std::vector<RecoveryRecipient> RecoveryRecipients();

// keys as a seal uses them: when one of them is the account's or machine's secret, with a
// recipient key added for each recovery recipient not among them, each of which is also put in
// *added (when not null). Every seal calls it, so a host (or the tool) that announces what it
// adds and seals with the result seals exactly what it announced. Throws as RecoveryRecipients,
// and SealedError kInvalidKey when the recipients take the keys past kSealedMaxKeys.
VANTRY_API std::vector<SealedKey> WithRecoveryRecipients(
    const std::vector<SealedKey>& keys, std::vector<RecoveryRecipient>* added = nullptr);

}  // namespace vantry

#endif  // VANTRY_SEALED_H_
