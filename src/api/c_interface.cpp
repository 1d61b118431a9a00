// The C interface: the same protected files as the entry points, with statuses instead of
// exceptions. Every function catches everything; what a failure said is kept per thread.
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

#include "api/c_guard.h"
#include "files/whole_file.h"
#include "platform/name_encoding.h"
#include "platform/secure_wipe.h"
#include "platform/vector_registers.h"
#include "vantry/cipher_error.h"
#include "vantry/file_error.h"
#include "vantry/keying.h"
#include "vantry/machine_key.h"
#include "vantry/rijndael_cipher.h"
#include "vantry/vantry_c.h"

namespace vantry {
namespace {

[[noreturn]] void Refuse(const std::string& message) {
  throw StatusError(VANTRY_ERROR_INVALID_ARGUMENT, message);
}

void RequireName(const char* name, const char* function) {
  if (name == nullptr || name[0] == '\0') {
    Refuse(std::string(function) + ": no file name");
  }
}

// Checks the key against its kind and keys cipher through the library's one keying. A raw key
// is keyed as the 32-byte buffer a key text of those bytes would fill, so the same bytes give
// the same file through either kind and through the entry points.
void KeyFor(CRijndaelCipher& cipher, int kind, const void* key, std::size_t keyLength) {
  switch (kind) {
    case VANTRY_KEY_MACHINE:
      if (key != nullptr || keyLength != 0) {
        Refuse("the machine key takes no key data");
      }
      KeyCipher(cipher, KeySource::kMachine, nullptr, 0);
      return;
    case VANTRY_KEY_TEXT:
      if (key == nullptr || keyLength == 0) {
        Refuse("a key text must not be empty");
      }
      // The entry points end a text at its first zero byte; here the length says where it
      // ends, and a zero inside would silently cut the key short.
      if (std::memchr(key, 0, keyLength) != nullptr) {
        Refuse("a key text must not contain a zero byte");
      }
      KeyCipher(cipher, KeySource::kText, key, keyLength);
      return;
    case VANTRY_KEY_BYTES: {
      if (key == nullptr || keyLength != VANTRY_KEY_BYTES_LENGTH) {
        Refuse("a raw key must have exactly 16 bytes");
      }
      // The 32-byte key buffer a raw key is keyed from, wiped however the call ends.
      platform::SecretArray<kVantryKeyBufferSize> buffer;
      std::memcpy(buffer.data(), key, VANTRY_KEY_BYTES_LENGTH);
      KeyCipher(cipher, KeySource::kRawBytes, buffer.data(), buffer.size());
      return;
    }
    default:
      Refuse("unknown key kind " + std::to_string(kind));
  }
}

void Save(const char* name, const void* data, std::size_t length, int keyKind, const void* key,
          std::size_t keyLength) {
  RequireName(name, "vantry_save");
  if (data == nullptr && length > 0) {
    Refuse("vantry_save: no data for a length of " + std::to_string(length) + " bytes");
  }
  CRijndaelCipher cipher;
  KeyFor(cipher, keyKind, key, keyLength);
  if (length > VANTRY_MAX_DATA_LENGTH) {
    throw StatusError(VANTRY_ERROR_TOO_LARGE, "vantry_save: " + std::to_string(length) +
                                                  " bytes are more than a protected file holds");
  }
  const platform::ScopedNameEncoding utf8(platform::NameEncoding::kUtf8);
  // Every local user can compute the machine key: its files are kept owner-only.
  EncryptToProtectedFile(cipher, static_cast<const unsigned char*>(data),
                         static_cast<std::int32_t>(length), name,
                         keyKind == VANTRY_KEY_MACHINE ? platform::OutputContents::kPlainText
                                                       : platform::OutputContents::kProtected);
}

// The load of the six entry points (one locked read of the whole file, the key check, the
// block decrypted in place and handed out), under UTF-8 names.
void Load(const char* name, int keyKind, const void* key, std::size_t keyLength,
          unsigned char** data, std::size_t* length) {
  RequireName(name, "vantry_load");
  if (data == nullptr || length == nullptr) {
    Refuse("vantry_load: no place for the loaded block or its length");
  }
  CRijndaelCipher cipher;
  KeyFor(cipher, keyKind, key, keyLength);
  const platform::ScopedNameEncoding utf8(platform::NameEncoding::kUtf8);
  SecretBlock block = DecryptProtectedFile(cipher, name);
  *length = static_cast<std::size_t>(block.size());
  *data = block.Release();
}

}  // namespace
}  // namespace vantry

extern "C" {

int VANTRY_CALL vantry_save(const char* name, const void* data, size_t length, int key_kind,
                            const void* key, size_t key_length) VANTRY_NOEXCEPT {
  // As in the entry points: nothing of a key left in registers for a lazily bound call to
  // spill onto a stack, the host's before the call or ours during it.
  vantry::platform::VectorRegisterClearer registerClearer;
  vantry::platform::ClearVectorRegisters();
  return vantry::Guard([&] { vantry::Save(name, data, length, key_kind, key, key_length); });
}

int VANTRY_CALL vantry_load(const char* name, int key_kind, const void* key, size_t key_length,
                            unsigned char** data, size_t* length) VANTRY_NOEXCEPT {
  vantry::platform::VectorRegisterClearer registerClearer;
  vantry::platform::ClearVectorRegisters();
  if (data != nullptr) {
    *data = nullptr;
  }
  if (length != nullptr) {
    *length = 0;
  }
  return vantry::Guard([&] { vantry::Load(name, key_kind, key, key_length, data, length); });
}

void VANTRY_CALL vantry_free(void* data, size_t length) VANTRY_NOEXCEPT {
  if (data == nullptr) {
    return;
  }
  vantry::platform::SecureWipe(data, length);
  std::free(data);
}

const char* VANTRY_CALL vantry_version(void) VANTRY_NOEXCEPT { return VANTRY_VERSION_STRING; }

uint32_t VANTRY_CALL vantry_version_number(void) VANTRY_NOEXCEPT {
  return VANTRY_VERSION_MAJOR * 10000u + VANTRY_VERSION_MINOR * 100u + VANTRY_VERSION_PATCH;
}

}  // extern "C"
