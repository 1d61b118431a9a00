// Account and machine secret slots: the secret file's 32 bytes are the material, and the slot
// names the secret by its identifier so that a file of another account says so.
#include "sealed/sealed_format.h"
#include "sealed/slot_kind.h"

namespace vantry::sealed {
namespace {

class SecretKind final : public SlotKind {
 public:
  SecretKind(SealedKeyKind kind, const char* name, const char* phrase, const char* owner)
      : m_kind(kind), m_name(name), m_phrase(phrase), m_owner(owner) {}
  std::uint8_t Id() const noexcept override { return static_cast<std::uint8_t>(m_kind); }
  const char* Name() const noexcept override { return m_name; }
  const char* Phrase() const noexcept override { return m_phrase; }
  std::size_t MinParameters() const noexcept override { return kSecretIdSize; }
  std::size_t MaxParameters() const noexcept override { return kSecretIdSize; }
  const char* Owner() const noexcept override { return m_owner; }

  void Make(const SealedKey&, const unsigned char*, std::vector<unsigned char>& parameters,
            unsigned char material[kSlotMaterialSize]) const override {
    ReadSecret(m_kind, true, material);
    unsigned char id[kSecretIdSize];
    SecretId(material, id);
    parameters.assign(id, id + kSecretIdSize);
  }

  SlotMatch Open(const SealedKey&, const unsigned char*,
                 const std::vector<unsigned char>& parameters, const std::string& fileName,
                 unsigned char material[kSlotMaterialSize]) const override {
    // Another account's secret is refused here, with what the file needs: the other slots
    // are still tried, and this is said only when none of them opens.
    OpenSecret(m_kind, parameters.data(), fileName, material);
    return SlotMatch::kOpened;
  }

  std::string Describe(const std::vector<unsigned char>& parameters) const override {
    return "secret " + HexText(parameters.data(), parameters.size());
  }

 private:
  SealedKeyKind m_kind;
  const char* m_name;
  const char* m_phrase;
  const char* m_owner;
};

}  // namespace

const SlotKind& AccountSecretSlot() {
  static const SecretKind kind(SealedKeyKind::kAccountSecret, "account secret",
                               "an account's secret", "account");
  return kind;
}

const SlotKind& MachineSecretSlot() {
  static const SecretKind kind(SealedKeyKind::kMachineSecret, "machine secret",
                               "a machine's secret", "machine");
  return kind;
}

}  // namespace vantry::sealed
