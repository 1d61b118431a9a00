// A 32-byte secret sealed by this machine's TPM 2.0, so that it opens on this machine only: a
// copied disk or a restored backup carries the sealed blob but not the TPM that can open it.
//
// The secret becomes a sealed data object under the owner hierarchy's storage primary key,
// created each time from the common default template (RSA 2048, AES-128-CFB, the attributes of
// tpm2-tools' createprimary), so nothing is left in the TPM between calls and an administrator
// can reproduce the parent with standard tools. Optionally the object's policy binds it to the
// current values of some SHA-256 PCRs (PCR 7, for one, holds the secure-boot state): a later
// change of those values refuses it.
//
// Every command that carries the secret runs in a session salted to the primary key with
// parameter encryption, so the secret never crosses the bus to the TPM in the clear. The blob
// records the primary key's name: opening checks it before anything else, which tells another
// machine's TPM from a damaged blob and keeps an interposer from substituting its own key for
// the salt.
//
// Which TPM: the TCTI configuration VANTRY_TPM_TCTI names (for instance
// "swtpm:path=/run/swtpm.sock" for a software TPM), else the kernel's resource manager,
// "device:/dev/tpmrm0". The TSS's own log stays quiet unless TSS2_LOG asks for it: the caller's
// error says what failed.
//
// Windows has no implementation (its CNG under the test emulator has no TPM): every call
// throws TpmError with Refusal::kUnavailable.
#ifndef VANTRY_PLATFORM_TPM_H_
#define VANTRY_PLATFORM_TPM_H_

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vantry::platform::tpm {

inline constexpr std::size_t kSecretSize = 32;
// PCRs 0 to 23 of the SHA-256 bank, bit n for PCR n.
inline constexpr unsigned kPcrCount = 24;
inline constexpr std::uint32_t kAllPcrs = (std::uint32_t{1} << kPcrCount) - 1;

// Why the TPM did not seal or unseal. None of them means that a key was wrong or a file
// damaged, except kDamaged, which says the blob itself is not one that Seal wrote.
enum class Refusal {
  kUnavailable,     // no TPM, no access to it, or none on this system
  kOtherTpm,        // sealed by another TPM (or by this one before its owner was cleared)
  kPolicyMismatch,  // the PCRs named at sealing hold other values now
  kLockout,         // the TPM is in dictionary-attack lockout
  kDamaged,         // the blob does not parse or does not load
  kFailure          // the TPM refused or failed otherwise
};

class TpmError : public std::runtime_error {
 public:
  TpmError(Refusal refusal, const std::string& what)
      : std::runtime_error(what), m_refusal(refusal) {}
  Refusal refusal() const noexcept { return m_refusal; }

 private:
  Refusal m_refusal;
};

// The TCTI configuration used when the caller names none (see above).
std::string DefaultTcti();

// Seals secret and returns the blob to store. pcrMask selects the SHA-256 PCRs whose current
// values the secret is bound to (0: none, the secret opens on this TPM whatever they hold).
// Throws std::invalid_argument for PCRs above 23, TpmError otherwise.
std::vector<unsigned char> Seal(const unsigned char secret[kSecretSize], std::uint32_t pcrMask,
                                const std::string& tcti = DefaultTcti());

// Unseals a blob of Seal into secret. Throws TpmError; secret is then left untouched.
void Unseal(const std::vector<unsigned char>& blob, unsigned char secret[kSecretSize],
            const std::string& tcti = DefaultTcti());

// The blob's layout, the same on every system so that any of them can list what a file's
// TPM slot is bound to: a format byte, the PCR mask (4 bytes, big-endian), then the primary
// key's name, the object's public and private areas, each as the TPM marshals them.
inline constexpr unsigned char kBlobFormat = 1;
inline constexpr std::size_t kBlobHeaderSize = 5;

// The PCR mask a blob was sealed with. Throws TpmError (kDamaged) for a blob that does not
// start as Seal's do.
inline std::uint32_t BlobPcrs(const std::vector<unsigned char>& blob) {
  if (blob.size() < kBlobHeaderSize || blob[0] != kBlobFormat) {
    throw TpmError(Refusal::kDamaged, "the TPM key's data is damaged");
  }
  const std::uint32_t mask = std::uint32_t{blob[1]} << 24 | std::uint32_t{blob[2]} << 16 |
                             std::uint32_t{blob[3]} << 8 | blob[4];
  if ((mask & ~kAllPcrs) != 0) {
    throw TpmError(Refusal::kDamaged, "the TPM key's data is damaged");
  }
  return mask;
}

}  // namespace vantry::platform::tpm

#endif  // VANTRY_PLATFORM_TPM_H_
