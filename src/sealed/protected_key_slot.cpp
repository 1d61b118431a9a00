// Slots of a key protected by the system (protected_key_slot.h), and Windows' data protection
// for an account or for the machine as two such kinds.
#include "sealed/protected_key_slot.h"

#include "platform/data_protection.h"
#include "platform/sealing_crypto.h"
#include "platform/secure_wipe.h"

namespace vantry::sealed {

void ProtectedKeySlot::Make(const SealedKey& key, const unsigned char*,
                            std::vector<unsigned char>& parameters,
                            unsigned char material[kSlotMaterialSize]) const {
  platform::sealing::RandomBytes(material, kSlotMaterialSize);
  try {
    parameters = Protect(key, material);
  } catch (...) {
    platform::SecureWipe(material, kSlotMaterialSize);
    throw;
  }
  if (parameters.empty() || parameters.size() > kMaxBlobSize) {
    platform::SecureWipe(material, kSlotMaterialSize);
    throw SealedError(SealedError::Kind::kSecretUnavailable,
                      std::string("the system's protection of ") + Phrase() + " returned " +
                          std::to_string(parameters.size()) + " bytes, not 1 to " +
                          std::to_string(kMaxBlobSize));
  }
}

SlotMatch ProtectedKeySlot::Open(const SealedKey& key, const unsigned char*,
                                 const std::vector<unsigned char>& parameters,
                                 const std::string& fileName,
                                 unsigned char material[kSlotMaterialSize]) const {
  return Unprotect(key, parameters, fileName, material) ? SlotMatch::kOpened
                                                        : SlotMatch::kOtherSecret;
}

namespace {

class DataProtectionKind final : public ProtectedKeySlot {
 public:
  DataProtectionKind(SealedKeyKind kind, const char* name, const char* phrase, const char* owner)
      : m_kind(kind), m_name(name), m_phrase(phrase), m_owner(owner) {}
  std::uint8_t Id() const noexcept override { return static_cast<std::uint8_t>(m_kind); }
  const char* Name() const noexcept override { return m_name; }
  const char* Phrase() const noexcept override { return m_phrase; }
  const char* Owner() const noexcept override { return m_owner; }

 protected:
  std::vector<unsigned char> Protect(
      const SealedKey&, const unsigned char material[kSlotMaterialSize]) const override {
    try {
      return platform::ProtectKey(material, Machine());
    } catch (const std::runtime_error& e) {
      throw SealedError(SealedError::Kind::kSecretUnavailable, e.what());
    }
  }
  bool Unprotect(const SealedKey&, const std::vector<unsigned char>& blob, const std::string&,
                 unsigned char material[kSlotMaterialSize]) const override {
    return platform::UnprotectKey(blob, Machine(), material);
  }

 private:
  bool Machine() const noexcept { return m_kind == SealedKeyKind::kWindowsMachine; }
  SealedKeyKind m_kind;
  const char* m_name;
  const char* m_phrase;
  const char* m_owner;
};

}  // namespace

const SlotKind& WindowsAccountSlot() {
  static const DataProtectionKind kind(SealedKeyKind::kWindowsAccount, "Windows account protection",
                                       "Windows' data protection for an account", "account");
  return kind;
}

const SlotKind& WindowsMachineSlot() {
  static const DataProtectionKind kind(SealedKeyKind::kWindowsMachine, "Windows machine protection",
                                       "Windows' data protection for a machine", "machine");
  return kind;
}

}  // namespace vantry::sealed
