#include "sealed/slot_changes.h"

#include <algorithm>
#include <cstring>

#include "platform/secure_wipe.h"
#include "sealed/armor.h"
#include "sealed/sealer.h"
#include "sealed/slot_header.h"
#include "sealed/unsealer.h"

namespace vantry::sealed {
namespace {
using Kind = SealedError::Kind;

// The bytes already read, then the rest of the input.
class ReplayReader : public ByteReader {
 public:
  ReplayReader(const std::vector<unsigned char>& first, ByteReader& rest)
      : m_first(first), m_rest(rest) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    if (m_at < m_first.size()) {
      const std::size_t take = std::min(n, m_first.size() - m_at);
      std::memcpy(buffer, m_first.data() + m_at, take);
      m_at += take;
      return take;
    }
    return m_rest.ReadSome(buffer, n);
  }

 private:
  const std::vector<unsigned char>& m_first;
  ByteReader& m_rest;
  std::size_t m_at = 0;
};

// A ByteWriter into a version-2 sealer; Finish seals the last segment.
class SealerWriter : public ByteWriter {
 public:
  SealerWriter(const std::vector<SealedKey>& keys, ByteWriter& output) : m_sealer(keys, output) {}
  void Write(const void* data, std::size_t n) override { m_sealer.Write(data, n); }
  void Commit() override { m_sealer.Finish(); }

 private:
  Sealer m_sealer;
};

void CheckNumbers(const std::vector<std::size_t>& numbers, std::size_t count,
                  const std::string& name) {
  for (std::size_t number : numbers) {
    if (number == 0 || number > count) {
      throw SealedError(Kind::kInvalidKey, name + " has " + std::to_string(count) +
                                               (count == 1 ? " slot" : " slots") +
                                               ": there is no slot " + std::to_string(number));
    }
  }
}

bool Removed(const SlotChanges& changes, std::size_t number) {
  return std::find(changes.remove.begin(), changes.remove.end(), number) != changes.remove.end();
}

// Version 1 to version 2: the payload is unsealed and sealed again segment by segment.
void Convert(const std::vector<const SealedKey*>& openWith, const SlotChanges& changes,
             const std::vector<unsigned char>& start, ByteReader& input, const std::string& name,
             ByteWriter& output) {
  CheckNumbers(changes.remove, 1, name);
  std::vector<SealedKey> keys;
  if (!Removed(changes, 1)) {
    keys.push_back(KeyOfKind(openWith, start[9]));
  }
  keys.insert(keys.end(), changes.add.begin(), changes.add.end());
  if (keys.empty()) {
    throw SealedError(Kind::kInvalidKey, "no key would open " + name + " any more");
  }
  ReplayReader whole(start, input);
  SealerWriter sealer(keys, output);
  UnsealBinaryWith(openWith, whole, name, sealer);
  sealer.Commit();
}

}  // namespace

int DescribeSlots(ByteReader& given, const std::string& name, std::vector<SlotDescription>& slots) {
  SealedInput input(given, name);
  std::vector<unsigned char> bytes = ReadHeaderStart(input, name);
  std::vector<std::pair<std::uint8_t, std::vector<unsigned char>>> found;
  if (bytes[8] == kSlotVersion) {
    for (const Slot& slot : ParseSlotHeader(input, bytes, name).slots) {
      found.emplace_back(slot.kind, slot.parameters);
    }
  } else {
    const std::size_t size = ReadBigEndian(&bytes[10], 2);
    std::vector<unsigned char> parameters(std::min<std::size_t>(size, kMaxBlobSize));
    if (input.ReadFull(parameters.data(), parameters.size()) != parameters.size()) {
      throw SealedError(Kind::kTruncated, name + " is truncated: it ends inside its header");
    }
    found.emplace_back(bytes[9], parameters);
  }
  slots.clear();
  for (const auto& [id, parameters] : found) {
    const SlotKind* kind = FindSlotKind(id);
    const bool fits = kind != nullptr && parameters.size() >= kind->MinParameters() &&
                      parameters.size() <= kind->MaxParameters();
    slots.push_back({id, kind != nullptr ? kind->Name() : "unknown kind " + std::to_string(id),
                     fits ? kind->Describe(parameters) : std::string()});
  }
  return bytes[8];
}

namespace {

// The slots of a binary sealed file.
void ChangeBinarySlots(const std::vector<const SealedKey*>& openWith, const SlotChanges& changes,
                       ByteReader& input, const std::string& name, ByteWriter& output) {
  std::vector<unsigned char> bytes = ReadHeaderStart(input, name);
  if (bytes[8] != kSlotVersion) {
    Convert(openWith, changes, bytes, input, name, output);
    return;
  }
  SlotHeader header = ParseSlotHeader(input, bytes, name);
  FileKey fileKey;
  OpenSlotHeader(openWith, header, bytes, name, fileKey);
  CheckNumbers(changes.remove, header.slots.size(), name);
  std::vector<Slot> slots;
  for (std::size_t i = 0; i < header.slots.size(); ++i) {
    if (!Removed(changes, i + 1)) {
      slots.push_back(header.slots[i]);
    }
  }
  for (const SealedKey& key : changes.add) {
    slots.push_back(MakeSlot(key, header, fileKey));
  }
  if (slots.empty()) {
    throw SealedError(Kind::kInvalidKey, "no key would open " + name + " any more");
  }
  CheckSlotLimits(slots);
  header.slots = slots;
  unsigned char payloadKey[platform::sealing::kKeySize];
  const std::vector<unsigned char> newHeader = EncodeSlotHeader(header, fileKey, payloadKey);
  platform::SecureWipe(payloadKey, sizeof payloadKey);
  output.Write(newHeader.data(), newHeader.size());
  // The payload is cipher text under keys that did not change: copied as it is.
  std::vector<unsigned char> piece(kChunkSize);
  for (std::size_t got; (got = input.ReadSome(piece.data(), piece.size())) != 0;) {
    output.Write(piece.data(), got);
  }
}

}  // namespace

// An armored file stays armored.
void ChangeSlots(const std::vector<const SealedKey*>& openWith, const SlotChanges& changes,
                 ByteReader& given, const std::string& name, ByteWriter& output) {
  SealedInput input(given, name);
  if (!input.armored()) {
    ChangeBinarySlots(openWith, changes, input, name, output);
    return;
  }
  ArmoringWriter armored(output);
  ChangeBinarySlots(openWith, changes, input, name, armored);
  armored.Finish();
}

}  // namespace vantry::sealed
