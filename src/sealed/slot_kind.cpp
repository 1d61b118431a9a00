// The table of slot kinds, and what a kind without costs or identifiers answers.
#include "sealed/slot_kind.h"

namespace vantry::sealed {

std::uint64_t SlotKind::Cost(const std::vector<unsigned char>&, const std::string&) const {
  return 0;
}

std::string SlotKind::Describe(const std::vector<unsigned char>&) const { return {}; }

std::string HexText(const unsigned char* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

const std::vector<const SlotKind*>& AllSlotKinds() {
  static const std::vector<const SlotKind*> kinds = {
      &PassphraseSlot(),     &RawKeySlot(),         &AccountSecretSlot(), &MachineSecretSlot(),
      &WindowsAccountSlot(), &WindowsMachineSlot(), &RecipientSlot(),     &TpmSlot(),
  };
  return kinds;
}

const SlotKind* FindSlotKind(std::uint8_t id) {
  for (const SlotKind* kind : AllSlotKinds()) {
    if (kind->Id() == id) {
      return kind;
    }
  }
  return nullptr;
}

}  // namespace vantry::sealed
