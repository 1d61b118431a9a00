// One kind of key slot: what a version-2 header stores for one key, and how that key's 32 bytes
// of slot material are made when sealing and found again when unsealing. Each kind is one unit
// (its identifier, its name in messages, its parameters, how it derives or unwraps) and the
// table below is the one list of them that the header codec, the messages, the C interface and
// the tool consult. A new kind is a new unit and a line in the table.
#ifndef VANTRY_SEALED_SLOT_KIND_H_
#define VANTRY_SEALED_SLOT_KIND_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vantry/sealed.h"

namespace vantry::sealed {

inline constexpr std::size_t kSlotMaterialSize = 32;
inline constexpr std::size_t kSlotSaltSize = 16;  // the file's salt, which every slot uses

// What trying one key on one slot found. Only kOpened fills the material.
enum class SlotMatch {
  kOpened,       // the material is this key's (the slot check decides whether it is the slot's)
  kNotThisKey,   // the slot names another key of this kind (another recipient)
  kOtherSecret,  // the slot names another account's or machine's secret
};

class SlotKind {
 public:
  virtual ~SlotKind() = default;
  // The byte stored in the header; equal to the SealedKeyKind of the keys it takes.
  virtual std::uint8_t Id() const noexcept = 0;
  // "passphrase", "account secret": the kind's name in listings (SealedKeyKindName).
  virtual const char* Name() const noexcept = 0;
  // "a passphrase", "an account's secret": how messages name a key of this kind.
  virtual const char* Phrase() const noexcept = 0;
  // The sizes the parameters may have; a header outside them is damaged.
  virtual std::size_t MinParameters() const noexcept = 0;
  virtual std::size_t MaxParameters() const noexcept = 0;
  // "account" or "machine" for a kind bound to one (a file of another account's kind says so
  // rather than "wrong kind"); nullptr for the others.
  virtual const char* Owner() const noexcept { return nullptr; }

  // Sealing: the slot's parameters and material for key under the file's salt.
  virtual void Make(const SealedKey& key, const unsigned char salt[kSlotSaltSize],
                    std::vector<unsigned char>& parameters,
                    unsigned char material[kSlotMaterialSize]) const = 0;
  // Unsealing: the material key gives for a slot with these parameters. fileName is for
  // messages. Throws SealedError when the key cannot be used at all (a secret unreadable).
  virtual SlotMatch Open(const SealedKey& key, const unsigned char salt[kSlotSaltSize],
                         const std::vector<unsigned char>& parameters, const std::string& fileName,
                         unsigned char material[kSlotMaterialSize]) const = 0;

  // The key stretching opening this slot costs, in PBKDF2 iterations; a reader adds the costs
  // of the slots it will try and refuses a header above kMaxStretching before any work.
  // Throws SealedError (kDamaged) for parameters no writer makes.
  virtual std::uint64_t Cost(const std::vector<unsigned char>& parameters,
                             const std::string& fileName) const;
  // What a listing of the slots shows of the parameters (never a secret): an identifier, a
  // cost; empty when there is nothing to show.
  virtual std::string Describe(const std::vector<unsigned char>& parameters) const;
};

// Lower-case hexadecimal of size bytes, for what Describe shows.
std::string HexText(const unsigned char* bytes, std::size_t size);

// The most key stretching one unseal does: two passphrase slots at the highest count.
inline constexpr std::uint64_t kMaxStretching = 2ull * kSealedMaxIterations;

// The kind stored as id, or nullptr for a kind this version does not know (a reader skips such
// slots: another of the file's slots may still open).
const SlotKind* FindSlotKind(std::uint8_t id);

// Every kind, in the order of their identifiers.
const std::vector<const SlotKind*>& AllSlotKinds();

// The units of the table.
const SlotKind& PassphraseSlot();
const SlotKind& RawKeySlot();
const SlotKind& AccountSecretSlot();
const SlotKind& MachineSecretSlot();
const SlotKind& WindowsAccountSlot();
const SlotKind& WindowsMachineSlot();
const SlotKind& RecipientSlot();
const SlotKind& TpmSlot();

}  // namespace vantry::sealed

#endif  // VANTRY_SEALED_SLOT_KIND_H_
