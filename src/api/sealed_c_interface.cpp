// The C interface of sealed files: statuses instead of exceptions, the failure's text kept per
// thread as for the rest of vantry_c.h.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

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
    case VANTRY_SEALED_RECIPIENT:
    case VANTRY_SEALED_IDENTITY: {
      // An identity's text is a secret: its copy goes once the key is made.
      std::string text(static_cast<const char*>(key), keyLength);
      struct Wiper {
        std::string& text;
        ~Wiper() { platform::SecureWipe(&text[0], text.size()); }
      } wiper{text};
      return kind == VANTRY_SEALED_RECIPIENT ? RecipientFromText(text) : IdentityFromText(text);
    }
    default:
      throw std::invalid_argument("unknown sealed key kind");
  }
}

std::vector<SealedKey> KeysOf(const vantry_sealed_key* keys, std::size_t count) {
  if (keys == nullptr || count == 0 || count > VANTRY_SEALED_MAX_KEYS) {
    throw std::invalid_argument("1 to 16 keys are needed");
  }
  std::vector<SealedKey> out;
  for (std::size_t i = 0; i < count; ++i) {
    out.push_back(KeyOf(keys[i].kind, keys[i].key, keys[i].key_length));
  }
  return out;
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

// Hands a finished MemoryOutput's block to the host.
void HandOut(MemoryOutput& output, unsigned char** out, std::size_t* outLength) {
  std::size_t size = 0;
  unsigned char* block = output.Release(&size);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  *out = block;
  *outLength = size;
}

// Runs body with the host's out-parameters cleared first and checked, names in UTF-8 and the
// vector registers cleared after, as every function here does.
template <class Body>
int SealedCall(const char* what, unsigned char** out, std::size_t* outLength, Body&& body) {
  if (out != nullptr) {
    *out = nullptr;
  }
  if (outLength != nullptr) {
    *outLength = 0;
  }
  platform::VectorRegisterClearer registerClearer;
  const platform::ScopedNameEncoding utf8(platform::NameEncoding::kUtf8);
  return Guard([&] {
    if (out == nullptr || outLength == nullptr) {
      throw std::invalid_argument(std::string(what) + ": the output block and length are needed");
    }
    body();
  });
}

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

int VANTRY_CALL vantry_seal_keys(const char* name, const void* data, size_t length,
                                 const vantry_sealed_key* keys, size_t key_count) VANTRY_NOEXCEPT {
  vantry::platform::VectorRegisterClearer registerClearer;
  const vantry::platform::ScopedNameEncoding utf8(vantry::platform::NameEncoding::kUtf8);
  return vantry::Guard([&] {
    vantry::RequireName(name);
    if (data == nullptr && length != 0) {
      throw std::invalid_argument("vantry_seal_keys: no data");
    }
    const std::vector<vantry::SealedKey> sealedKeys = vantry::KeysOf(keys, key_count);
    std::unique_ptr<vantry::ByteWriter> output =
        vantry::CreateFileWriter(name, vantry::OutputKind::kProtected);
    vantry::MemoryReader input(data, length);
    vantry::SealStream(sealedKeys, input, *output);
    output->Commit();
  });
}

int VANTRY_CALL vantry_unseal_keys(const char* name, const vantry_sealed_key* keys,
                                   size_t key_count, unsigned char** data,
                                   size_t* length) VANTRY_NOEXCEPT {
  return vantry::SealedCall("vantry_unseal_keys", data, length, [&] {
    vantry::RequireName(name);
    const std::vector<vantry::SealedKey> sealedKeys = vantry::KeysOf(keys, key_count);
    vantry::MemoryOutput output;
    vantry::UnsealStream(sealedKeys, *vantry::OpenFileReader(name), name, output);
    vantry::HandOut(output, data, length);
  });
}

int VANTRY_CALL vantry_seal_buffer(const void* data, size_t length, const vantry_sealed_key* keys,
                                   size_t key_count, unsigned char** out,
                                   size_t* out_length) VANTRY_NOEXCEPT {
  return vantry::SealedCall("vantry_seal_buffer", out, out_length, [&] {
    if (data == nullptr && length != 0) {
      throw std::invalid_argument("vantry_seal_buffer: no data");
    }
    const std::vector<vantry::SealedKey> sealedKeys = vantry::KeysOf(keys, key_count);
    vantry::MemoryReader input(data, length);
    vantry::MemoryOutput output;
    vantry::SealStream(sealedKeys, input, output);
    vantry::HandOut(output, out, out_length);
  });
}

int VANTRY_CALL vantry_unseal_buffer(const void* sealed, size_t sealed_length,
                                     const vantry_sealed_key* keys, size_t key_count,
                                     unsigned char** out, size_t* out_length) VANTRY_NOEXCEPT {
  return vantry::SealedCall("vantry_unseal_buffer", out, out_length, [&] {
    if (sealed == nullptr && sealed_length != 0) {
      throw std::invalid_argument("vantry_unseal_buffer: no sealed data");
    }
    const std::vector<vantry::SealedKey> sealedKeys = vantry::KeysOf(keys, key_count);
    vantry::MemoryReader input(sealed, sealed_length);
    vantry::MemoryOutput output;
    vantry::UnsealStream(sealedKeys, input, "the sealed buffer", output);
    vantry::HandOut(output, out, out_length);
  });
}

int VANTRY_CALL vantry_sealed_slots(const char* name, int* version, char** listing,
                                    size_t* listing_length) VANTRY_NOEXCEPT {
  if (version != nullptr) {
    *version = 0;
  }
  return vantry::SealedCall(
      "vantry_sealed_slots", reinterpret_cast<unsigned char**>(listing), listing_length, [&] {
        vantry::RequireName(name);
        if (version == nullptr) {
          throw std::invalid_argument("vantry_sealed_slots: version is needed");
        }
        std::vector<vantry::SealedSlot> slots;
        const int found = vantry::ListSealedSlots(*vantry::OpenFileReader(name), name, slots);
        vantry::MemoryOutput output;
        for (std::size_t i = 0; i < slots.size(); ++i) {
          const std::string line =
              std::to_string(i + 1) + "\t" + slots[i].name + "\t" + slots[i].detail + "\n";
          output.Write(line.data(), line.size());
        }
        output.Write("", 1);
        vantry::HandOut(output, reinterpret_cast<unsigned char**>(listing), listing_length);
        --*listing_length;
        *version = found;
      });
}

}  // extern "C"
