// A slot kind whose material is a fresh random key that a service of the system protects (the
// data protection API of Windows; a TPM): the service's opaque blob is the slot's parameters,
// and only the same service, for the same account or machine, gives the key back.
#ifndef VANTRY_SEALED_PROTECTED_KEY_SLOT_H_
#define VANTRY_SEALED_PROTECTED_KEY_SLOT_H_

#include "sealed/sealed_format.h"
#include "sealed/slot_kind.h"

namespace vantry::sealed {

class ProtectedKeySlot : public SlotKind {
 public:
  std::size_t MinParameters() const noexcept override { return 1; }
  std::size_t MaxParameters() const noexcept override { return kMaxBlobSize; }
  void Make(const SealedKey& key, const unsigned char salt[kSlotSaltSize],
            std::vector<unsigned char>& parameters,
            unsigned char material[kSlotMaterialSize]) const final;
  SlotMatch Open(const SealedKey& key, const unsigned char salt[kSlotSaltSize],
                 const std::vector<unsigned char>& parameters, const std::string& fileName,
                 unsigned char material[kSlotMaterialSize]) const final;

 protected:
  // The service's blob of material for key. Throws SealedError when the service refuses.
  virtual std::vector<unsigned char> Protect(
      const SealedKey& key, const unsigned char material[kSlotMaterialSize]) const = 0;
  // The material a blob holds; false when the blob is another account's or machine's (the
  // file then reads "sealed for another ..."). Throws SealedError for any other refusal, with
  // its own kind and message.
  virtual bool Unprotect(const SealedKey& key, const std::vector<unsigned char>& blob,
                         const std::string& fileName,
                         unsigned char material[kSlotMaterialSize]) const = 0;
};

}  // namespace vantry::sealed

#endif  // VANTRY_SEALED_PROTECTED_KEY_SLOT_H_
