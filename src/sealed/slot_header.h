// The version-2 header: a random file key per file, wrapped once for each key in a slot, and a
// header MAC under a key derived from the file key that covers every slot (the layout is in
// docs/sealed-format.md). Sealing makes one; unsealing parses one without a key (enough to list
// its slots), then opens it with the caller's keys; changing keys re-encodes one around the
// same file key, so the payload stays as it is.
#ifndef VANTRY_SEALED_SLOT_HEADER_H_
#define VANTRY_SEALED_SLOT_HEADER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/secure_wipe.h"
#include "sealed/sealed_format.h"
#include "sealed/slot_kind.h"
#include "vantry/sealed.h"
#include "vantry/streams.h"

namespace vantry::sealed {

inline constexpr std::uint8_t kSlotVersion = 2;
inline constexpr std::size_t kMaxSlots = 16;
inline constexpr std::size_t kSlotCheckSize = 16;
inline constexpr std::size_t kWrappedKeySize = platform::sealing::kKeySize + kTagSize;
// magic, version, slot count, salt, nonce prefix
inline constexpr std::size_t kSlotFixedSize = sizeof kMagic + 1 + 1 + kSaltSize + kPrefixSize;
// kind, parameter length
inline constexpr std::size_t kSlotLeadSize = 3;
// key check, digest, MAC
inline constexpr std::size_t kSlotTrailerSize = kCheckSize + kDigestSize + kMacSize;

struct Slot {
  std::uint8_t kind = 0;
  std::vector<unsigned char> parameters;
  unsigned char check[kSlotCheckSize] = {};  // commits the slot's material
  unsigned char wrapped[kWrappedKeySize] = {};
};

struct SlotHeader {
  unsigned char salt[kSaltSize] = {};
  unsigned char prefix[kPrefixSize] = {};
  std::vector<Slot> slots;
  unsigned char keyCheck[kCheckSize] = {};
};

// A file key, wiped when it goes.
using FileKey = platform::SecretArray<platform::sealing::kKeySize>;

// A slot for key that wraps fileKey under header's salt. Throws SealedError.
Slot MakeSlot(const SealedKey& key, const SlotHeader& header, const FileKey& fileKey);

// Slots for keys (1 to kMaxSlots of them, no more key stretching than a reader accepts).
std::vector<Slot> MakeSlots(const std::vector<SealedKey>& keys, const SlotHeader& header,
                            const FileKey& fileKey);

// The header's bytes with its key check, digest and MAC computed from fileKey; fills the
// payload key.
std::vector<unsigned char> EncodeSlotHeader(SlotHeader& header, const FileKey& fileKey,
                                            unsigned char payloadKey[platform::sealing::kKeySize]);

// The first kFixedSize bytes of a sealed file of a version this library reads (1 or 2).
// Throws SealedError (kNotSealed, kTruncated, kUnsupportedVersion) naming name.
std::vector<unsigned char> ReadHeaderStart(ByteReader& input, const std::string& name);

// A version-1 file has one key kind: the key of that kind, or the first (whose kind the
// messages then name).
const SealedKey& KeyOfKind(const std::vector<const SealedKey*>& keys, std::uint8_t kind);

// Refuses slots no reader would accept: none, more than kMaxSlots, or more key stretching than
// kMaxStretching. Throws SealedError (kInvalidKey).
void CheckSlotLimits(const std::vector<Slot>& slots);

// Reads the rest of a version-2 header whose first bytes (at least magic and version) are in
// bytes, checks its structure and keyless digest, and returns it; bytes ends holding the whole
// header. Throws SealedError (kTruncated, kDamaged) naming name.
SlotHeader ParseSlotHeader(ByteReader& input, std::vector<unsigned char>& bytes,
                           const std::string& name);

// Opens a parsed header with any of keys: tries each slot of a kind a key is for, and checks
// the key check and MAC with the file key it finds. Throws SealedError (kWrongKind, kWrongKey,
// kOtherAccount, kDamaged) naming name.
void OpenSlotHeader(const std::vector<const SealedKey*>& keys, const SlotHeader& header,
                    const std::vector<unsigned char>& bytes, const std::string& name,
                    FileKey& fileKey);

}  // namespace vantry::sealed

#endif  // VANTRY_SEALED_SLOT_HEADER_H_
