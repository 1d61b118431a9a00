// The C interface of sealed files: statuses instead of exceptions, the failure's text kept per
// thread as for the rest of vantry_c.h.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/name_encoding.h"
#include "platform/secure_wipe.h"
#include "platform/vector_registers.h"
#include "vantry/file_error.h"
#include "vantry/sealed.h"
#include "vantry/vantry_c.h"

namespace vantry {

// c_interface.cpp: the thread's last error.
void RecordLastError(int systemCode, const char* text) noexcept;

namespace {

int StatusOf(SealedError::Kind kind) noexcept {
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
  }
  return VANTRY_ERROR_INTERNAL;
}

class Refusal : public std::exception {
 public:
  explicit Refusal(const char* what) : m_what(what) {}
  const char* what() const noexcept override { return m_what; }

 private:
  const char* m_what;
};

template <class Body>
int Guard(Body&& body) noexcept {
  try {
    body();
    RecordLastError(0, "");
    return VANTRY_OK;
  } catch (const Refusal& e) {
    RecordLastError(0, e.what());
    return VANTRY_ERROR_INVALID_ARGUMENT;
  } catch (const SealedError& e) {
    RecordLastError(0, e.what());
    return StatusOf(e.kind());
  } catch (const FileError& e) {
    RecordLastError(e.code().category() == std::system_category() ? e.code().value() : 0, e.what());
    return VANTRY_ERROR_FILE;
  } catch (const std::bad_alloc&) {
    RecordLastError(0, "out of memory");
    return VANTRY_ERROR_OUT_OF_MEMORY;
  } catch (const std::exception& e) {
    RecordLastError(0, e.what());
    return VANTRY_ERROR_INTERNAL;
  } catch (...) {
    RecordLastError(0, "unknown failure");
    return VANTRY_ERROR_INTERNAL;
  }
}

SealedKey KeyOf(int kind, const void* key, std::size_t keyLength) {
  const bool secret = kind == VANTRY_SEALED_ACCOUNT || kind == VANTRY_SEALED_MACHINE;
  if (secret && (key != nullptr || keyLength != 0)) {
    throw Refusal("an account or machine secret takes no key (NULL, 0)");
  }
  if (!secret && key == nullptr && keyLength != 0) {
    throw Refusal("no key");
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
      throw Refusal("unknown sealed key kind");
  }
}

void RequireName(const char* name) {
  if (name == nullptr || name[0] == '\0') {
    throw Refusal("no file name");
  }
}

class MemoryInput : public ByteReader {
 public:
  MemoryInput(const void* data, std::size_t size)
      : m_data(static_cast<const unsigned char*>(data)), m_left(size) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    const std::size_t part = n < m_left ? n : m_left;
    if (part > 0) {
      std::memcpy(buffer, m_data, part);
    }
    m_data += part;
    m_left -= part;
    return part;
  }

 private:
  const unsigned char* m_data;
  std::size_t m_left;
};

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
    default:
      return "unknown status";
  }
}

}  // namespace vantry

extern "C" {

int vantry_seal(const char* name, const void* data, size_t length, int key_kind, const void* key,
                size_t key_length) {
  // As the other functions: names are UTF-8, and no key or plain text stays in the vector
  // registers the host's code runs on next.
  vantry::platform::VectorRegisterClearer registerClearer;
  const vantry::platform::ScopedNameEncoding utf8(vantry::platform::NameEncoding::kUtf8);
  return vantry::Guard([&] {
    vantry::RequireName(name);
    if (data == nullptr && length != 0) {
      throw vantry::Refusal("vantry_seal: no data");
    }
    const vantry::SealedKey sealedKey = vantry::KeyOf(key_kind, key, key_length);
    std::unique_ptr<vantry::ByteWriter> output =
        vantry::CreateFileWriter(name, vantry::OutputKind::kProtected);
    vantry::MemoryInput input(data, length);
    vantry::SealStream(sealedKey, input, *output);
    output->Commit();
  });
}

int vantry_unseal(const char* name, int key_kind, const void* key, size_t key_length,
                  unsigned char** data, size_t* length) {
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
      throw vantry::Refusal("vantry_unseal: data and length are needed");
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
