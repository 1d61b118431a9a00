// The C interface of sealed files: statuses instead of exceptions, the failure's text kept per
// thread as for the rest of vantry_c.h.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "api/c_guard.h"
#include "files/protected_core.h"
#include "platform/name_encoding.h"
#include "platform/secure_wipe.h"
#include "platform/vector_registers.h"
#include "vantry/file_error.h"
#include "vantry/sealed.h"
#include "vantry/vantry_c.h"

namespace vantry {

int StatusOfSealedError(SealedError::Kind kind) noexcept {
  switch (kind) {
    case SealedError::Kind::kNotSealed:
      return VANTRY_ERROR_NOT_SEALED;
    case SealedError::Kind::kUnsupportedVersion:
      return VANTRY_ERROR_UNSUPPORTED_VERSION;
    case SealedError::Kind::kWrongKey:
      return VANTRY_ERROR_WRONG_KEY;
    case SealedError::Kind::kWrongKind:
      return VANTRY_ERROR_WRONG_KEY_KIND;
    case SealedError::Kind::kOtherAccount:
      return VANTRY_ERROR_OTHER_ACCOUNT;
    case SealedError::Kind::kDamaged:
      return VANTRY_ERROR_DAMAGED;
    case SealedError::Kind::kTruncated:
      return VANTRY_ERROR_TRUNCATED;
    case SealedError::Kind::kSecretUnavailable:
      return VANTRY_ERROR_SECRET_UNAVAILABLE;
    case SealedError::Kind::kInvalidKey:
      return VANTRY_ERROR_INVALID_ARGUMENT;
    case SealedError::Kind::kNotAvailable:
      return VANTRY_ERROR_NOT_AVAILABLE;
    case SealedError::Kind::kBootStateChanged:
      return VANTRY_ERROR_BOOT_STATE_CHANGED;
    case SealedError::Kind::kTpmLockout:
      return VANTRY_ERROR_TPM_LOCKOUT;
  }
  return VANTRY_ERROR_INTERNAL;
}

namespace {

SealedKey KeyOf(int kind, const void* key, std::size_t keyLength) {
  const bool secret = kind == VANTRY_SEALED_ACCOUNT || kind == VANTRY_SEALED_MACHINE;
  if (secret && (key != nullptr || keyLength != 0)) {
    throw std::invalid_argument("an account or machine secret takes no key (NULL, 0)");
  }
  if (kind == VANTRY_SEALED_TPM) {
    // Its option: the PCR mask, a uint32_t, or none (NULL, 0).
    std::uint32_t pcrs = 0;
    if (key != nullptr || keyLength != 0) {
      if (key == nullptr || keyLength != sizeof pcrs) {
        throw std::invalid_argument("a TPM key takes a uint32_t PCR mask or nothing (NULL, 0)");
      }
      std::memcpy(&pcrs, key, sizeof pcrs);
    }
    return SealedKey::Tpm(pcrs);
  }
  if (!secret && key == nullptr && keyLength != 0) {
    throw std::invalid_argument("no key");
  }
  switch (kind) {
    case VANTRY_SEALED_ACCOUNT:
      return SealedKey::AccountSecret();
    case VANTRY_SEALED_MACHINE:
      return SealedKey::MachineSecret();
    case VANTRY_SEALED_PASSPHRASE:
      return SealedKey::Passphrase(
          keyLength == 0 ? std::string() : std::string(static_cast<const char*>(key), keyLength));
    case VANTRY_SEALED_RAW:
      return SealedKey::Raw(key, keyLength);
    default:
      throw std::invalid_argument("unknown sealed key kind");
  }
}

void RequireName(const char* name) {
  if (name == nullptr || name[0] == '\0') {
    throw std::invalid_argument("no file name");
  }
}

// Grows by doubling into fresh blocks, wiping each block it leaves, so no stray copy of the
// plain text stays in freed memory; wiped and freed unless released.
class MemoryOutput : public ByteWriter {
 public:
  ~MemoryOutput() override { vantry_free(m_data, m_capacity); }
  void Write(const void* data, std::size_t n) override {
    if (n > m_capacity - m_size) {
      std::size_t capacity = m_capacity < 4096 ? 4096 : m_capacity;
      while (capacity - m_size < n) {
        if (capacity > SIZE_MAX / 2) {
          throw std::bad_alloc();
        }
        capacity *= 2;
      }
      auto* grown = static_cast<unsigned char*>(std::malloc(capacity));
      if (grown == nullptr) {
        throw std::bad_alloc();
      }
      if (m_size > 0) {
        std::memcpy(grown, m_data, m_size);
      }
      vantry_free(m_data, m_capacity);
      m_data = grown;
      m_capacity = capacity;
    }
    if (n > 0) {
      std::memcpy(m_data + m_size, data, n);
    }
    m_size += n;
  }
  void Commit() override {}
  unsigned char* Release(std::size_t* size) {
    *size = m_size;
    if (m_data == nullptr) {
      // An empty file gives a valid block the host may free.
      return static_cast<unsigned char*>(std::malloc(1));
    }
    unsigned char* data = m_data;
    m_data = nullptr;
    m_capacity = 0;
    return data;
  }

 private:
  unsigned char* m_data = nullptr;
  std::size_t m_size = 0;
  std::size_t m_capacity = 0;
};

}  // namespace

const char* SealedStatusText(int status) noexcept {
  switch (status) {
    case VANTRY_ERROR_NOT_SEALED:
      return "not a sealed file";
    case VANTRY_ERROR_UNSUPPORTED_VERSION:
      return "sealed file of an unsupported version";
    case VANTRY_ERROR_DAMAGED:
      return "sealed file damaged";
    case VANTRY_ERROR_TRUNCATED:
      return "sealed file truncated";
    case VANTRY_ERROR_OTHER_ACCOUNT:
      return "sealed for another account or machine";
    case VANTRY_ERROR_WRONG_KEY_KIND:
      return "sealed with another kind of key";
    case VANTRY_ERROR_SECRET_UNAVAILABLE:
      return "the account's or machine's secret is unavailable";
    case VANTRY_ERROR_NOT_AVAILABLE:
      return "this kind of key is not available on this system";
    case VANTRY_ERROR_BOOT_STATE_CHANGED:
      return "this machine's boot state changed since the file was sealed";
    case VANTRY_ERROR_TPM_LOCKOUT:
      return "the TPM is in dictionary-attack lockout";
    default:
      return "unknown status";
  }
}

}  // namespace vantry

extern "C" {

int VANTRY_CALL vantry_seal(const char* name, const void* data, size_t length, int key_kind,
                            const void* key, size_t key_length) VANTRY_NOEXCEPT {
  // As the other functions: names are UTF-8, and no key or plain text stays in the vector
  // registers the host's code runs on next.
  vantry::platform::VectorRegisterClearer registerClearer;
  const vantry::platform::ScopedNameEncoding utf8(vantry::platform::NameEncoding::kUtf8);
  return vantry::Guard([&] {
    vantry::RequireName(name);
    if (data == nullptr && length != 0) {
      throw std::invalid_argument("vantry_seal: no data");
    }
    const vantry::SealedKey sealedKey = vantry::KeyOf(key_kind, key, key_length);
    std::unique_ptr<vantry::ByteWriter> output =
        vantry::CreateFileWriter(name, vantry::OutputKind::kProtected);
    vantry::MemoryReader input(data, length);
    vantry::SealStream(sealedKey, input, *output);
    output->Commit();
  });
}

int VANTRY_CALL vantry_unseal(const char* name, int key_kind, const void* key, size_t key_length,
                              unsigned char** data, size_t* length) VANTRY_NOEXCEPT {
  if (data != nullptr) {
    *data = nullptr;
  }
  if (length != nullptr) {
    *length = 0;
  }
  vantry::platform::VectorRegisterClearer registerClearer;
  const vantry::platform::ScopedNameEncoding utf8(vantry::platform::NameEncoding::kUtf8);
  return vantry::Guard([&] {
    vantry::RequireName(name);
    if (data == nullptr || length == nullptr) {
      throw std::invalid_argument("vantry_unseal: data and length are needed");
    }
    const vantry::SealedKey sealedKey = vantry::KeyOf(key_kind, key, key_length);
    vantry::MemoryOutput output;
    vantry::UnsealStream(sealedKey, *vantry::OpenFileReader(name), name, output);
    std::size_t size = 0;
    unsigned char* block = output.Release(&size);
    if (block == nullptr) {
      throw std::bad_alloc();
    }
    *data = block;
    *length = size;
  });
}

}  // extern "C"
