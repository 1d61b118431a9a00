// Passphrase slots: PBKDF2-HMAC-SHA256 over the file's salt, of the passphrase's SHA-256 digest
// rather than of the passphrase itself. HMAC pads a short key with zero bytes and hashes a key
// longer than its block, so "pass" and "pass\0", or a long passphrase and its digest, would be
// the same key; a fixed-size digest first makes distinct passphrases distinct keys.
#include "platform/sealing_crypto.h"
#include "platform/secure_wipe.h"
#include "sealed/sealed_format.h"
#include "sealed/slot_kind.h"

namespace vantry::sealed {
namespace {
namespace sc = platform::sealing;

void Stretch(const std::string& passphrase, const unsigned char salt[kSlotSaltSize],
             std::uint32_t iterations, unsigned char material[kSlotMaterialSize]) {
  unsigned char digest[sc::kDigestSize];
  sc::Sha256(passphrase.data(), passphrase.size(), digest);
  try {
    sc::Pbkdf2Sha256(digest, sizeof digest, salt, kSlotSaltSize, iterations, material);
  } catch (...) {
    platform::SecureWipe(digest, sizeof digest);
    throw;
  }
  platform::SecureWipe(digest, sizeof digest);
}

class PassphraseKind final : public SlotKind {
 public:
  std::uint8_t Id() const noexcept override { return 1; }
  const char* Name() const noexcept override { return "passphrase"; }
  const char* Phrase() const noexcept override { return "a passphrase"; }
  std::size_t MinParameters() const noexcept override { return 4; }
  std::size_t MaxParameters() const noexcept override { return 4; }

  void Make(const SealedKey& key, const unsigned char salt[kSlotSaltSize],
            std::vector<unsigned char>& parameters,
            unsigned char material[kSlotMaterialSize]) const override {
    AppendBigEndian(parameters, key.iterations(), 4);
    Stretch(key.material(), salt, key.iterations(), material);
  }

  SlotMatch Open(const SealedKey& key, const unsigned char salt[kSlotSaltSize],
                 const std::vector<unsigned char>& parameters, const std::string&,
                 unsigned char material[kSlotMaterialSize]) const override {
    Stretch(key.material(), salt, ReadBigEndian(parameters.data(), 4), material);
    return SlotMatch::kOpened;
  }

  std::uint64_t Cost(const std::vector<unsigned char>& parameters,
                     const std::string& fileName) const override {
    const std::uint32_t iterations = ReadBigEndian(parameters.data(), 4);
    if (iterations == 0 || iterations > kSealedMaxIterations) {
      throw SealedError(SealedError::Kind::kDamaged,
                        fileName + " asks for " + std::to_string(iterations) +
                            " PBKDF2 iterations, outside 1 to " +
                            std::to_string(kSealedMaxIterations) + ": it is damaged or hostile",
                        -1, 0);
    }
    return iterations;
  }

  std::string Describe(const std::vector<unsigned char>& parameters) const override {
    return std::to_string(ReadBigEndian(parameters.data(), 4)) + " PBKDF2 iterations";
  }
};

}  // namespace

const SlotKind& PassphraseSlot() {
  static const PassphraseKind kind;
  return kind;
}

}  // namespace vantry::sealed
