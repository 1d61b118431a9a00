// The C interface of sealed files: statuses instead of exceptions, the failure's text kept per
// thread as for the rest of vantry_c.h.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

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

// The plain text of an unseal in secret memory, handed to the host once all of it verified.
class MemoryOutput final : public ByteWriter {
 public:
  void Write(const void* data, std::size_t n) override { m_buffer.Append(data, n); }
  void Commit() override {}
  unsigned char* Release(std::size_t* size) {
    *size = m_buffer.size();
    return m_buffer.Release();
  }

 private:
  platform::SecretBuffer m_buffer;
};

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

}  // extern "C"
