// The public key and error types of sealed files.
#include <utility>

#include "platform/data_protection.h"
#include "platform/secure_wipe.h"
#include "platform/tpm.h"
#include "sealed/slot_kind.h"
#include "vantry/sealed.h"

namespace vantry {
const char* SealedKeyKindName(SealedKeyKind kind) noexcept {
  try {
    const sealed::SlotKind* slotKind = sealed::FindSlotKind(static_cast<std::uint8_t>(kind));
    return slotKind != nullptr ? slotKind->Name() : "unknown";
  } catch (...) {  // the table could not be made (no memory)
    return "unknown";
  }
}

SealedKey::SealedKey(SealedKeyKind kind, std::string material, std::uint32_t iterations)
    : m_kind(kind), m_material(std::move(material)), m_iterations(iterations) {}

SealedKey SealedKey::Passphrase(const std::string& passphrase, std::uint32_t iterations) {
  // An empty passphrase would seal a file that anyone opens.
  if (passphrase.empty()) {
    throw SealedError(SealedError::Kind::kInvalidKey, "a passphrase must not be empty");
  }
  if (iterations < kSealedDefaultIterations || iterations > kSealedMaxIterations) {
    throw SealedError(SealedError::Kind::kInvalidKey,
                      "the PBKDF2 iteration count must lie between " +
                          std::to_string(kSealedDefaultIterations) + " and " +
                          std::to_string(kSealedMaxIterations));
  }
  return SealedKey(SealedKeyKind::kPassphrase, passphrase, iterations);
}

SealedKey SealedKey::Raw(const void* key, std::size_t size) {
  if (key == nullptr || size != 32) {
    throw SealedError(
        SealedError::Kind::kInvalidKey,
        "a raw key for a sealed file is exactly 32 bytes, not " + std::to_string(size));
  }
  return SealedKey(SealedKeyKind::kRawKey, std::string(static_cast<const char*>(key), size), 0);
}

SealedKey SealedKey::AccountSecret() {
  return SealedKey(platform::HasDataProtection() ? SealedKeyKind::kWindowsAccount
                                                 : SealedKeyKind::kAccountSecret,
                   {}, 0);
}

SealedKey SealedKey::MachineSecret() {
  return SealedKey(platform::HasDataProtection() ? SealedKeyKind::kWindowsMachine
                                                 : SealedKeyKind::kMachineSecret,
                   {}, 0);
}

SealedKey SealedKey::Tpm(std::uint32_t pcrMask) {
  if ((pcrMask & ~platform::tpm::kAllPcrs) != 0) {
    throw SealedError(SealedError::Kind::kInvalidKey, "the TPM's PCRs are numbered 0 to 23");
  }
  SealedKey key(SealedKeyKind::kTpm, {}, 0);
  key.m_pcrs = pcrMask;
  return key;
}

SealedKey::SealedKey(const SealedKey& other) = default;

SealedKey& SealedKey::operator=(const SealedKey& other) {
  if (this != &other) {
    platform::WipeString(m_material);
    m_kind = other.m_kind;
    m_material = other.m_material;
    m_iterations = other.m_iterations;
    m_pcrs = other.m_pcrs;
  }
  return *this;
}

SealedKey::~SealedKey() { platform::WipeString(m_material); }

SealedError::SealedError(Kind kind, const std::string& what, std::int64_t segment,
                         std::int64_t offset)
    : std::runtime_error(what), m_kind(kind), m_segment(segment), m_offset(offset) {}

SealedError::~SealedError() = default;

}  // namespace vantry
