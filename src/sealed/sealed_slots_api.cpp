// The public functions of several keys per file, over the slot header, the slot changes and
// the key texts.
#include <cstring>

#include "platform/sealing_crypto.h"
#include "platform/secure_wipe.h"
#include "sealed/recipient_text.h"
#include "sealed/sealer.h"
#include "sealed/slot_changes.h"
#include "sealed/unsealer.h"
#include "vantry/sealed.h"

namespace vantry {
namespace {
namespace sc = platform::sealing;

std::vector<const SealedKey*> Pointers(const std::vector<SealedKey>& keys) {
  if (keys.empty()) {
    throw SealedError(SealedError::Kind::kInvalidKey, "no key given");
  }
  std::vector<const SealedKey*> pointers;
  for (const SealedKey& key : keys) {
    pointers.push_back(&key);
  }
  return pointers;
}

using KeyBytes = platform::SecretArray<32>;

void RequireX25519(const char* what) {
  if (!sc::HasX25519()) {
    throw SealedError(SealedError::Kind::kNotAvailable,
                      std::string(what) + " is not available on this system (it has no X25519)");
  }
}

}  // namespace

void SealStream(const std::vector<SealedKey>& keys, ByteReader& input, ByteWriter& output) {
  sealed::SealStreamWith(keys, input, output);
}

void UnsealStream(const std::vector<SealedKey>& keys, ByteReader& input,
                  const std::string& inputName, ByteWriter& output) {
  sealed::UnsealStreamWith(Pointers(keys), input, inputName, output);
}

int ListSealedSlots(ByteReader& input, const std::string& inputName,
                    std::vector<SealedSlot>& slots) {
  std::vector<sealed::SlotDescription> found;
  const int version = sealed::DescribeSlots(input, inputName, found);
  slots.clear();
  for (const auto& slot : found) {
    slots.push_back({slot.kind, slot.name, slot.detail});
  }
  return version;
}

void ChangeSealedSlots(const std::vector<SealedKey>& openWith,
                       const std::vector<std::size_t>& remove, const std::vector<SealedKey>& add,
                       ByteReader& input, const std::string& inputName, ByteWriter& output) {
  sealed::ChangeSlots(Pointers(openWith), {remove, add}, input, inputName, output);
}

SealedKey RecipientFromText(const std::string& text) {
  RequireX25519("sealing to a recipient");
  KeyBytes key;
  sealed::ParseRecipientText(text, key.bytes);
  return SealedKey::Recipient(key.bytes, sizeof key.bytes);
}

SealedKey IdentityFromText(const std::string& text) {
  RequireX25519("unsealing with an identity");
  KeyBytes key;
  sealed::ParseIdentityText(text, key.bytes);
  return SealedKey::Identity(key.bytes, sizeof key.bytes);
}

std::string RecipientOfIdentity(const std::string& identityText) {
  RequireX25519("an identity");
  KeyBytes key, publicKey;
  sealed::ParseIdentityText(identityText, key.bytes);
  sc::X25519Public(key.bytes, publicKey.bytes);
  return sealed::RecipientText(publicKey.bytes);
}

NewIdentity::NewIdentity() {
  RequireX25519("making an identity");
  KeyBytes key, publicKey;
  sc::X25519Generate(key.bytes, publicKey.bytes);
  m_identity = sealed::IdentityText(key.bytes);
  m_recipient = sealed::RecipientText(publicKey.bytes);
}

NewIdentity::~NewIdentity() { platform::WipeString(m_identity); }

}  // namespace vantry
