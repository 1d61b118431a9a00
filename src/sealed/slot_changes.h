// Looking after a sealed file's keys without touching its data: listing its slots (no key
// needed, no secret shown) and changing them. A version-2 file gets a new header around the same
// file key, salt and nonce prefix, and its payload is copied byte for byte; a version-1 file
// (one key, no file key) is converted, re-encrypted as it streams, so no plain text is stored.
#ifndef VANTRY_SEALED_SLOT_CHANGES_H_
#define VANTRY_SEALED_SLOT_CHANGES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vantry/sealed.h"
#include "vantry/streams.h"

namespace vantry::sealed {

struct SlotDescription {
  std::uint8_t kind = 0;
  std::string name;    // the kind's name, or "unknown kind N"
  std::string detail;  // an identifier or a cost, never a secret; may be empty
};

// The format version of the sealed file input holds (binary or armored) and its slots (one for
// version 1), read from its header without a key. Throws SealedError naming name.
int DescribeSlots(ByteReader& input, const std::string& name, std::vector<SlotDescription>& slots);

struct SlotChanges {
  std::vector<std::size_t> remove;  // slot numbers, counted from 1
  std::vector<SealedKey> add;
};

// Writes to output the sealed file input holds with its slots changed, once one of openWith
// opened it: the slots kept, then one for each added key; an armored file stays armored. Throws
// SealedError naming name
// (kInvalidKey for a slot number that is not there, or no slot left). Does not commit output.
void ChangeSlots(const std::vector<const SealedKey*>& openWith, const SlotChanges& changes,
                 ByteReader& input, const std::string& name, ByteWriter& output);

}  // namespace vantry::sealed

#endif  // VANTRY_SEALED_SLOT_CHANGES_H_
