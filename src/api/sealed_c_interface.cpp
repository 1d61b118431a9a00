// The C interface of sealed files: statuses instead of exceptions, the failure's text kept per
// thread as for the rest of vantry_c.h.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/c_guard.h"
#include "files/byte_streams.h"
#include "platform/name_encoding.h"
#include "platform/secure_wipe.h"
#include "platform/vector_registers.h"
#include "vantry/file_error.h"
#include "vantry/sealed.h"
#include "vantry/vantry_c.h"

namespace vantry {

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
  // No object is that large: the length is the caller's mistake, not a key to copy.
  if (keyLength > static_cast<std::size_t>(PTRDIFF_MAX)) {
    throw std::invalid_argument("a key of " + std::to_string(keyLength) + " bytes");
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
        ~Wiper() { platform::WipeString(text); }
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

// The most an unseal hands back: what vantry_load can, a block under 2 GiB, whose length a host
// may keep in a signed 32-bit count.
constexpr std::size_t kMaxUnsealedLength = 0x7fffffff;

// The plain text of an unseal in secret memory, handed to the host once all of it verified.
class MemoryOutput final : public ByteWriter {
 public:
  void Write(const void* data, std::size_t n) override {
    if (n > kMaxUnsealedLength - m_buffer.size()) {
      throw StatusError(VANTRY_ERROR_TOO_LARGE,
                        "vantry_unseal: the file holds 2 GiB or more, more than a block holds");
    }
    m_buffer.Append(data, n);
  }
  void Commit() override {}
  unsigned char* Release(std::size_t* size) {
    *size = m_buffer.size();
    return m_buffer.Release();
  }

 private:
  platform::SecretBuffer m_buffer;
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
    *data = output.Release(&size);
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
