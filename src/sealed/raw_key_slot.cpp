// Raw key slots: the caller's 32 bytes are the slot's material; nothing is stored but the wrap.
#include <cstring>

#include "sealed/slot_kind.h"

namespace vantry::sealed {
namespace {

class RawKeyKind final : public SlotKind {
 public:
  std::uint8_t Id() const noexcept override { return 2; }
  const char* Name() const noexcept override { return "raw key"; }
  const char* Phrase() const noexcept override { return "a raw key"; }
  std::size_t MinParameters() const noexcept override { return 0; }
  std::size_t MaxParameters() const noexcept override { return 0; }

  void Make(const SealedKey& key, const unsigned char*, std::vector<unsigned char>&,
            unsigned char material[kSlotMaterialSize]) const override {
    std::memcpy(material, key.material().data(), kSlotMaterialSize);
  }

  SlotMatch Open(const SealedKey& key, const unsigned char*, const std::vector<unsigned char>&,
                 const std::string&, unsigned char material[kSlotMaterialSize]) const override {
    std::memcpy(material, key.material().data(), kSlotMaterialSize);
    return SlotMatch::kOpened;
  }
};

}  // namespace

const SlotKind& RawKeySlot() {
  static const RawKeyKind kind;
  return kind;
}

}  // namespace vantry::sealed
