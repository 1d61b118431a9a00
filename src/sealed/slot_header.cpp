#include "sealed/slot_header.h"

#include <cstring>
#include <optional>

#include "platform/sealing_crypto.h"
#include "platform/secure_wipe.h"

namespace vantry::sealed {
namespace {
namespace sc = platform::sealing;
using Kind = SealedError::Kind;

using Secret = platform::SecretArray<sc::kKeySize>;

// What a slot's check and wrap key are derived under: its kind, length and parameters, so that
// a slot whose parameters changed neither checks nor unwraps.
std::string SlotLabel(const char* label, const Slot& slot) {
  std::vector<unsigned char> lead{slot.kind};
  AppendBigEndian(lead, static_cast<std::uint32_t>(slot.parameters.size()), 2);
  lead.insert(lead.end(), slot.parameters.begin(), slot.parameters.end());
  return std::string("vantry sealed v2 ") + label + std::string(lead.begin(), lead.end());
}

// The slot check and the wrap key of a slot's material. The wrap key is used once (it depends
// on the file's salt and the slot's own bytes), so its nonce can be fixed.
void SlotKeys(const unsigned char material[kSlotMaterialSize], const unsigned char salt[kSaltSize],
              const Slot& slot, unsigned char check[kSlotCheckSize],
              unsigned char wrapKey[sc::kKeySize]) {
  sc::HkdfSha256(material, kSlotMaterialSize, salt, kSaltSize, SlotLabel("slot check", slot), check,
                 kSlotCheckSize);
  sc::HkdfSha256(material, kSlotMaterialSize, salt, kSaltSize, SlotLabel("wrap", slot), wrapKey,
                 sc::kKeySize);
}

constexpr unsigned char kWrapNonce[sc::kNonceSize] = {};

void ReadMore(ByteReader& input, std::vector<unsigned char>& bytes, std::size_t n,
              const std::string& name) {
  const std::size_t at = bytes.size();
  bytes.resize(at + n);
  if (input.ReadFull(bytes.data() + at, n) != n) {
    throw SealedError(Kind::kTruncated, name + " is truncated: it ends inside its header");
  }
}

[[noreturn]] void Damaged(const std::string& name, const std::string& what) {
  throw SealedError(Kind::kDamaged, name + " is damaged: " + what, -1, 0);
}

std::string Joined(const std::vector<std::string>& phrases, const char* last) {
  std::string text;
  for (std::size_t i = 0; i < phrases.size(); ++i) {
    text += i == 0 ? "" : i + 1 == phrases.size() ? last : ", ";
    text += phrases[i];
  }
  return text;
}

void AddOnce(std::vector<std::string>& phrases, const std::string& phrase) {
  for (const std::string& p : phrases) {
    if (p == phrase) {
      return;
    }
  }
  phrases.push_back(phrase);
}

// Why none of the slots opened, when no slot was of a kind the caller has a key for.
[[noreturn]] void NoSlotOfTheseKinds(const std::vector<const SealedKey*>& keys,
                                     const SlotHeader& header, const std::string& name) {
  std::vector<std::string> sealedWith, unknown, given;
  const SlotKind* ownerSlot = nullptr;
  for (const Slot& slot : header.slots) {
    const SlotKind* kind = FindSlotKind(slot.kind);
    if (kind == nullptr) {
      AddOnce(unknown, std::to_string(slot.kind));
      continue;
    }
    AddOnce(sealedWith, kind->Phrase());
    ownerSlot = kind->Owner() != nullptr && ownerSlot == nullptr ? kind : ownerSlot;
  }
  const SealedKey* ownerKey = nullptr;
  for (const SealedKey* key : keys) {
    const SlotKind* kind = FindSlotKind(static_cast<std::uint8_t>(key->kind()));
    AddOnce(given, kind != nullptr ? kind->Phrase() : "an unknown kind of key");
    ownerKey = ownerKey == nullptr && kind != nullptr && kind->Owner() != nullptr ? key : ownerKey;
  }
  // An account's or machine's key meeting the other owner's kind, or another system's.
  if (ownerKey != nullptr && ownerSlot != nullptr) {
    OtherOwner(static_cast<SealedKeyKind>(ownerSlot->Id()), ownerKey->kind(), name);
  }
  if (sealedWith.empty()) {
    throw SealedError(Kind::kUnsupportedVersion,
                      name + " uses key kind " + Joined(unknown, " and ") +
                          ", which this version of Vantry does not know");
  }
  throw SealedError(Kind::kWrongKind, name + " was sealed with " + Joined(sealedWith, " and ") +
                                          ", not " + Joined(given, " or "));
}

// Refuses, before any work, a header that asks more key stretching of these keys than any
// writer makes.
void CheckCost(const std::vector<const SealedKey*>& keys, const SlotHeader& header,
               const std::string& name) {
  std::uint64_t total = 0;
  for (const Slot& slot : header.slots) {
    const SlotKind* kind = FindSlotKind(slot.kind);
    bool tried = false;
    for (const SealedKey* key : keys) {
      tried = tried || static_cast<std::uint8_t>(key->kind()) == slot.kind;
    }
    if (kind != nullptr && tried) {
      total += kind->Cost(slot.parameters, name);
    }
  }
  if (total > kMaxStretching) {
    Damaged(name, "it asks for " + std::to_string(total) + " PBKDF2 iterations in all, above " +
                      std::to_string(kMaxStretching) + ": it is damaged or hostile");
  }
}

// Whether key opens slot number index; fills fileKey and checks the whole header when it does.
bool CannotUseHere(Kind kind) {
  return kind == Kind::kNotAvailable || kind == Kind::kOtherAccount ||
         kind == Kind::kBootStateChanged || kind == Kind::kTpmLockout ||
         kind == Kind::kSecretUnavailable;
}

SlotMatch TrySlot(const SealedKey& key, const SlotKind& kind, const SlotHeader& header,
                  std::size_t index, const std::vector<unsigned char>& bytes,
                  const std::string& name, FileKey& fileKey) {
  const Slot& slot = header.slots[index];
  Secret material, wrapKey;
  const SlotMatch match = kind.Open(key, header.salt, slot.parameters, name, material.bytes);
  if (match != SlotMatch::kOpened) {
    return match;
  }
  unsigned char check[kSlotCheckSize];
  SlotKeys(material.bytes, header.salt, slot, check, wrapKey.bytes);
  if (!platform::EqualInConstantTime(check, slot.check, kSlotCheckSize)) {
    return SlotMatch::kNotThisKey;
  }
  const std::string slotName = "its slot " + std::to_string(index + 1);
  sc::AesGcm wrap(wrapKey.bytes);
  if (!wrap.Open(kWrapNonce, slot.wrapped, sc::kKeySize, slot.wrapped + sc::kKeySize,
                 fileKey.bytes)) {
    Damaged(name, slotName + " does not authenticate");
  }
  FileKeys keys;
  DeriveFileKeys(fileKey.bytes, header.salt, keys, kSlotVersion);
  if (!platform::EqualInConstantTime(keys.check, header.keyCheck, kCheckSize)) {
    Damaged(name, slotName + " holds another file's key");
  }
  unsigned char mac[sc::kDigestSize];
  sc::HmacSha256(keys.mac, bytes.data(), bytes.size() - kMacSize, mac);
  if (!platform::EqualInConstantTime(mac, bytes.data() + bytes.size() - kMacSize, kMacSize)) {
    Damaged(name, "its header does not authenticate");
  }
  return SlotMatch::kOpened;
}

}  // namespace

Slot MakeSlot(const SealedKey& key, const SlotHeader& header, const FileKey& fileKey) {
  const SlotKind* kind = FindSlotKind(static_cast<std::uint8_t>(key.kind()));
  if (kind == nullptr) {
    throw SealedError(Kind::kInvalidKey, "unknown key kind");
  }
  Slot slot;
  slot.kind = kind->Id();
  Secret material, wrapKey;
  kind->Make(key, header.salt, slot.parameters, material.bytes);
  SlotKeys(material.bytes, header.salt, slot, slot.check, wrapKey.bytes);
  sc::AesGcm(wrapKey.bytes)
      .Seal(kWrapNonce, fileKey.bytes, sc::kKeySize, slot.wrapped, slot.wrapped + sc::kKeySize);
  return slot;
}

void CheckSlotLimits(const std::vector<Slot>& slots) {
  if (slots.empty() || slots.size() > kMaxSlots) {
    throw SealedError(Kind::kInvalidKey, "a sealed file takes 1 to " + std::to_string(kMaxSlots) +
                                             " keys, not " + std::to_string(slots.size()));
  }
  std::uint64_t cost = 0;
  for (const Slot& slot : slots) {
    const SlotKind* kind = FindSlotKind(slot.kind);
    cost += kind != nullptr ? kind->Cost(slot.parameters, std::string()) : 0;
  }
  if (cost > kMaxStretching) {
    throw SealedError(Kind::kInvalidKey,
                      "these passphrases ask for " + std::to_string(cost) +
                          " PBKDF2 iterations in all; a reader accepts at most " +
                          std::to_string(kMaxStretching));
  }
}

std::vector<Slot> MakeSlots(const std::vector<SealedKey>& keys, const SlotHeader& header,
                            const FileKey& fileKey) {
  if (keys.empty() || keys.size() > kMaxSlots) {
    throw SealedError(Kind::kInvalidKey, "a sealed file takes 1 to " + std::to_string(kMaxSlots) +
                                             " keys, not " + std::to_string(keys.size()));
  }
  std::vector<Slot> slots;
  for (const SealedKey& key : keys) {
    slots.push_back(MakeSlot(key, header, fileKey));
  }
  CheckSlotLimits(slots);
  return slots;
}

std::vector<unsigned char> ReadHeaderStart(ByteReader& input, const std::string& name) {
  std::vector<unsigned char> bytes(kFixedSize);
  const std::size_t got = input.ReadFull(bytes.data(), kFixedSize);
  if (got < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
    throw SealedError(Kind::kNotSealed, name + " is not a sealed file");
  }
  if (got < kFixedSize) {
    throw SealedError(Kind::kTruncated, name + " is truncated: it ends inside its header");
  }
  if (bytes[8] != kVersion && bytes[8] != kSlotVersion) {
    throw SealedError(Kind::kUnsupportedVersion,
                      name + " says it is a sealed file of version " + std::to_string(bytes[8]) +
                          ", which this version of Vantry does not read (it reads versions " +
                          std::to_string(kVersion) + " and " + std::to_string(kSlotVersion) +
                          "): its header is damaged, or a later Vantry wrote it");
  }
  return bytes;
}

const SealedKey& KeyOfKind(const std::vector<const SealedKey*>& keys, std::uint8_t kind) {
  for (const SealedKey* key : keys) {
    if (static_cast<std::uint8_t>(key->kind()) == kind) {
      return *key;
    }
  }
  return *keys.front();
}

std::vector<unsigned char> EncodeSlotHeader(SlotHeader& header, const FileKey& fileKey,
                                            unsigned char payloadKey[sc::kKeySize]) {
  FileKeys keys;
  DeriveFileKeys(fileKey.bytes, header.salt, keys, kSlotVersion);
  std::memcpy(header.keyCheck, keys.check, kCheckSize);
  std::vector<unsigned char> out(kMagic, kMagic + sizeof kMagic);
  out.push_back(kSlotVersion);
  out.push_back(static_cast<unsigned char>(header.slots.size()));
  out.insert(out.end(), header.salt, header.salt + kSaltSize);
  out.insert(out.end(), header.prefix, header.prefix + kPrefixSize);
  for (const Slot& slot : header.slots) {
    out.push_back(slot.kind);
    AppendBigEndian(out, static_cast<std::uint32_t>(slot.parameters.size()), 2);
    out.insert(out.end(), slot.parameters.begin(), slot.parameters.end());
    out.insert(out.end(), slot.check, slot.check + kSlotCheckSize);
    out.insert(out.end(), slot.wrapped, slot.wrapped + kWrappedKeySize);
  }
  out.insert(out.end(), header.keyCheck, header.keyCheck + kCheckSize);
  SealHeader(out, keys.mac);
  std::memcpy(payloadKey, keys.payload, sc::kKeySize);
  return out;
}

SlotHeader ParseSlotHeader(ByteReader& input, std::vector<unsigned char>& bytes,
                           const std::string& name) {
  if (bytes.size() < kSlotFixedSize) {
    ReadMore(input, bytes, kSlotFixedSize - bytes.size(), name);
  }
  SlotHeader header;
  const unsigned char* p = bytes.data() + sizeof kMagic + 2;
  std::memcpy(header.salt, p, kSaltSize);
  std::memcpy(header.prefix, p + kSaltSize, kPrefixSize);
  const std::size_t count = bytes[sizeof kMagic + 1];
  if (count == 0 || count > kMaxSlots) {
    Damaged(name, "its header's slot count " + std::to_string(count) + " is outside 1 to " +
                      std::to_string(kMaxSlots));
  }
  for (std::size_t i = 0; i < count; ++i) {
    ReadMore(input, bytes, kSlotLeadSize, name);
    Slot slot;
    slot.kind = bytes[bytes.size() - 3];
    const std::size_t size = ReadBigEndian(&bytes[bytes.size() - 2], 2);
    const SlotKind* kind = FindSlotKind(slot.kind);
    // A slot of an unknown kind is skipped, but no larger than any kind's.
    const bool fits = kind != nullptr
                          ? size >= kind->MinParameters() && size <= kind->MaxParameters()
                          : size <= kMaxBlobSize;
    if (!fits) {
      Damaged(name, "its slot " + std::to_string(i + 1) + "'s parameter length is wrong");
    }
    ReadMore(input, bytes, size + kSlotCheckSize + kWrappedKeySize, name);
    const unsigned char* at = bytes.data() + bytes.size() - size - kSlotCheckSize - kWrappedKeySize;
    slot.parameters.assign(at, at + size);
    std::memcpy(slot.check, at + size, kSlotCheckSize);
    std::memcpy(slot.wrapped, at + size + kSlotCheckSize, kWrappedKeySize);
    header.slots.push_back(std::move(slot));
  }
  ReadMore(input, bytes, kSlotTrailerSize, name);
  const std::size_t bodySize = bytes.size() - kDigestSize - kMacSize;
  std::memcpy(header.keyCheck, bytes.data() + bodySize - kCheckSize, kCheckSize);
  // The keyless digest tells accidental damage from a wrong key.
  unsigned char digest[sc::kDigestSize];
  sc::Sha256(bytes.data(), bodySize, digest);
  if (std::memcmp(digest, bytes.data() + bodySize, kDigestSize) != 0) {
    Damaged(name, "its header does not match its check");
  }
  return header;
}

void OpenSlotHeader(const std::vector<const SealedKey*>& keys, const SlotHeader& header,
                    const std::vector<unsigned char>& bytes, const std::string& name,
                    FileKey& fileKey) {
  CheckCost(keys, header, name);
  bool anyOfTheseKinds = false;
  const char* otherOwner = nullptr;
  std::optional<SealedError> refusal;
  for (std::size_t i = 0; i < header.slots.size(); ++i) {
    const SlotKind* kind = FindSlotKind(header.slots[i].kind);
    for (const SealedKey* key : keys) {
      if (kind == nullptr || static_cast<std::uint8_t>(key->kind()) != kind->Id()) {
        continue;
      }
      anyOfTheseKinds = true;
      SlotMatch match = SlotMatch::kNotThisKey;
      try {
        match = TrySlot(*key, *kind, header, i, bytes, name, fileKey);
      } catch (const SealedError& e) {
        // A key this system cannot use on this slot (a TPM that refuses it, a secret not
        // there) leaves the other slots, a recovery slot above all: its refusal is said only
        // when none of them opens.
        if (!CannotUseHere(e.kind())) {
          throw;
        }
        refusal = refusal ? refusal : std::make_optional(e);
        continue;
      }
      if (match == SlotMatch::kOpened) {
        return;
      }
      otherOwner = match == SlotMatch::kOtherSecret ? kind->Owner() : otherOwner;
    }
  }
  if (!anyOfTheseKinds) {
    NoSlotOfTheseKinds(keys, header, name);
  }
  if (refusal) {
    throw *refusal;
  }
  if (otherOwner != nullptr) {
    throw SealedError(Kind::kOtherAccount,
                      name + " was sealed for another " + std::string(otherOwner));
  }
  const bool passphrase = keys.size() == 1 && keys[0]->kind() == SealedKeyKind::kPassphrase;
  throw SealedError(Kind::kWrongKey, passphrase ? "the passphrase does not match " + name
                                                : "the key does not match " + name);
}

}  // namespace vantry::sealed
