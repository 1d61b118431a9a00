// TPM slots: the material is a random key sealed by this machine's TPM (platform/tpm.h), and
// the slot's parameters are the TPM's blob, which names the PCRs it is bound to. Each way the
// TPM refuses has its own kind and message, none of them a wrong key or a damaged file, and
// each points to the file's other slots, since a TPM slot alone is lost with the machine.
#include <string>

#include "platform/tpm.h"
#include "sealed/protected_key_slot.h"

namespace vantry::sealed {
namespace {

namespace tpm = platform::tpm;
using Kind = SealedError::Kind;

Kind KindOf(tpm::Refusal refusal) {
  switch (refusal) {
    case tpm::Refusal::kUnavailable:
      return Kind::kNotAvailable;
    case tpm::Refusal::kOtherTpm:
      return Kind::kOtherAccount;
    case tpm::Refusal::kPolicyMismatch:
      return Kind::kBootStateChanged;
    case tpm::Refusal::kLockout:
      return Kind::kTpmLockout;
    case tpm::Refusal::kDamaged:
      return Kind::kDamaged;
    case tpm::Refusal::kFailure:
      break;
  }
  return Kind::kSecretUnavailable;
}

std::string WhyNot(const tpm::TpmError& e, const std::string& fileName) {
  switch (e.refusal()) {
    case tpm::Refusal::kOtherTpm:
      return fileName +
             " was sealed by another machine's TPM (or by this one before it was "
             "cleared)";
    case tpm::Refusal::kPolicyMismatch:
      return "this machine's boot state changed since the file was sealed, so the TPM does not "
             "open " +
             fileName;
    case tpm::Refusal::kDamaged:
      return fileName + "'s TPM slot is damaged";
    default:
      return "the TPM slot of " + fileName + " cannot be opened: " + e.what();
  }
}

class TpmKind final : public ProtectedKeySlot {
 public:
  std::uint8_t Id() const noexcept override {
    return static_cast<std::uint8_t>(SealedKeyKind::kTpm);
  }
  const char* Name() const noexcept override { return "TPM"; }
  const char* Phrase() const noexcept override { return "this machine's TPM"; }

  std::string Describe(const std::vector<unsigned char>& parameters) const override {
    std::uint32_t pcrs = 0;
    try {
      pcrs = tpm::BlobPcrs(parameters);
    } catch (const tpm::TpmError&) {
      return "damaged";
    }
    if (pcrs == 0) {
      return "no PCR policy";
    }
    std::string list;
    for (unsigned pcr = 0; pcr < tpm::kPcrCount; ++pcr) {
      if ((pcrs >> pcr & 1) != 0) {
        list += (list.empty() ? "PCRs " : ",") + std::to_string(pcr);
      }
    }
    return list;
  }

 protected:
  std::vector<unsigned char> Protect(
      const SealedKey& key, const unsigned char material[kSlotMaterialSize]) const override {
    try {
      return tpm::Seal(material, key.pcrs());
    } catch (const tpm::TpmError& e) {
      throw SealedError(KindOf(e.refusal()),
                        std::string("this machine's TPM cannot seal a key: ") + e.what());
    }
  }

  bool Unprotect(const SealedKey&, const std::vector<unsigned char>& blob,
                 const std::string& fileName,
                 unsigned char material[kSlotMaterialSize]) const override {
    try {
      tpm::Unseal(blob, material);
    } catch (const tpm::TpmError& e) {
      throw SealedError(KindOf(e.refusal()),
                        WhyNot(e, fileName) +
                            "; open it through another of its slots (vantry slots " + fileName +
                            " lists them)");
    }
    return true;
  }
};

}  // namespace

const SlotKind& TpmSlot() {
  static const TpmKind kind;
  return kind;
}

}  // namespace vantry::sealed
