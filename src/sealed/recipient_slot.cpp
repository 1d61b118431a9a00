// Recipient slots: sealing to an X25519 public key, as age's X25519 stanza and HPKE's base mode
// do. Each slot has its own ephemeral key pair; the shared secret goes through HKDF-SHA256 with
// both public keys as salt, so the material is bound to this ephemeral key and this recipient.
// The slot stores a 4-byte tag of the recipient so that an identity tries only its own slots.
#include <cstring>

#include "platform/sealing_crypto.h"
#include "platform/secure_wipe.h"
#include "sealed/slot_kind.h"

namespace vantry::sealed {
namespace {
namespace sc = platform::sealing;

constexpr std::size_t kTagSize = 4;
constexpr std::size_t kKeySize = sc::kX25519Size;
const char kLabel[] = "vantry sealed v2 recipient";

void RecipientTag(const unsigned char publicKey[kKeySize], unsigned char tag[kTagSize]) {
  unsigned char digest[sc::kDigestSize];
  sc::Sha256(publicKey, kKeySize, digest);
  std::memcpy(tag, digest, kTagSize);
}

// The material from the shared secret, bound to the ephemeral and the recipient's public keys.
void Bind(unsigned char shared[kKeySize], const unsigned char ephemeral[kKeySize],
          const unsigned char recipient[kKeySize], unsigned char material[kSlotMaterialSize]) {
  unsigned char salt[2 * kKeySize];
  std::memcpy(salt, ephemeral, kKeySize);
  std::memcpy(salt + kKeySize, recipient, kKeySize);
  sc::HkdfSha256(shared, kKeySize, salt, sizeof salt, kLabel, material, kSlotMaterialSize);
  platform::SecureWipe(shared, kKeySize);
}

[[noreturn]] void NotAvailable(const char* what) {
  throw SealedError(SealedError::Kind::kNotAvailable,
                    std::string(what) + " is not available on this system (it has no X25519)");
}

class RecipientKind final : public SlotKind {
 public:
  std::uint8_t Id() const noexcept override { return 7; }
  const char* Name() const noexcept override { return "recipient"; }
  const char* Phrase() const noexcept override { return "a recipient's key"; }
  std::size_t MinParameters() const noexcept override { return kTagSize + kKeySize; }
  std::size_t MaxParameters() const noexcept override { return kTagSize + kKeySize; }

  void Make(const SealedKey& key, const unsigned char*, std::vector<unsigned char>& parameters,
            unsigned char material[kSlotMaterialSize]) const override {
    if (!sc::HasX25519()) {
      NotAvailable("sealing to a recipient");
    }
    const auto* recipient = reinterpret_cast<const unsigned char*>(key.material().data());
    if (key.material().size() != kKeySize) {
      throw SealedError(SealedError::Kind::kInvalidKey,
                        "an identity unseals; sealing takes its recipient (the public key)");
    }
    unsigned char ephemeralSecret[kKeySize], ephemeral[kKeySize], shared[kKeySize];
    sc::X25519Generate(ephemeralSecret, ephemeral);
    const bool usable = sc::X25519Shared(ephemeralSecret, recipient, shared);
    platform::SecureWipe(ephemeralSecret, sizeof ephemeralSecret);
    if (!usable) {
      throw SealedError(SealedError::Kind::kInvalidKey,
                        "this recipient is not a usable key (a point of small order)");
    }
    Bind(shared, ephemeral, recipient, material);
    unsigned char tag[kTagSize];
    RecipientTag(recipient, tag);
    parameters.assign(tag, tag + kTagSize);
    parameters.insert(parameters.end(), ephemeral, ephemeral + kKeySize);
  }

  SlotMatch Open(const SealedKey& key, const unsigned char*,
                 const std::vector<unsigned char>& parameters, const std::string&,
                 unsigned char material[kSlotMaterialSize]) const override {
    if (key.material().size() != 2 * kKeySize) {
      throw SealedError(SealedError::Kind::kInvalidKey,
                        "a recipient seals; unsealing takes its identity (the private key)");
    }
    const auto* identity = reinterpret_cast<const unsigned char*>(key.material().data());
    const unsigned char* ownPublic = identity + kKeySize;
    unsigned char tag[kTagSize];
    RecipientTag(ownPublic, tag);
    if (std::memcmp(tag, parameters.data(), kTagSize) != 0) {
      return SlotMatch::kNotThisKey;
    }
    const unsigned char* ephemeral = parameters.data() + kTagSize;
    unsigned char shared[kKeySize];
    if (!sc::X25519Shared(identity, ephemeral, shared)) {
      return SlotMatch::kNotThisKey;
    }
    Bind(shared, ephemeral, ownPublic, material);
    return SlotMatch::kOpened;
  }

  std::string Describe(const std::vector<unsigned char>& parameters) const override {
    return "recipient tag " + HexText(parameters.data(), kTagSize);
  }
};

}  // namespace

const SlotKind& RecipientSlot() {
  static const RecipientKind kind;
  return kind;
}

}  // namespace vantry::sealed

namespace vantry {

SealedKey SealedKey::Recipient(const void* publicKey, std::size_t size) {
  if (publicKey == nullptr || size != sealed::kKeySize) {
    throw SealedError(SealedError::Kind::kInvalidKey,
                      "a recipient's key is exactly 32 bytes, not " + std::to_string(size));
  }
  if (!sealed::sc::HasX25519()) {
    sealed::NotAvailable("sealing to a recipient");
  }
  return SealedKey(SealedKeyKind::kRecipient,
                   std::string(static_cast<const char*>(publicKey), size), 0);
}

// An identity keeps its public key beside the private one: the slots name their recipient.
SealedKey SealedKey::Identity(const void* privateKey, std::size_t size) {
  if (privateKey == nullptr || size != sealed::kKeySize) {
    throw SealedError(SealedError::Kind::kInvalidKey,
                      "an identity's key is exactly 32 bytes, not " + std::to_string(size));
  }
  if (!sealed::sc::HasX25519()) {
    sealed::NotAvailable("unsealing with an identity");
  }
  std::string material(2 * sealed::kKeySize, '\0');
  std::memcpy(&material[0], privateKey, size);
  sealed::sc::X25519Public(static_cast<const unsigned char*>(privateKey),
                           reinterpret_cast<unsigned char*>(&material[sealed::kKeySize]));
  SealedKey key(SealedKeyKind::kRecipient, material, 0);
  platform::WipeString(material);
  return key;
}

}  // namespace vantry
