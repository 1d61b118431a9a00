// The C++ interface of Vantry: header-only, over the C interface of vantry_c.h.
//
// Everything here compiles into the host, and only plain C functions cross into the library,
// so a host built with any C++17 compiler and runtime can use it; no exception, std::string or
// allocation crosses the boundary.
//
//   vantry::Save("notes.vty", bytes.data(), bytes.size(), vantry::Key::Text("my key"));
//   vantry::Buffer loaded = vantry::Load("notes.vty", vantry::Key::Text("my key"));
//
// Failures throw vantry::Error, a std::system_error whose code() is in vantry::ErrorCategory()
// (compare it with vantry::Status::kWrongKey and the others) and whose what() is the library's
// message. The file format, the key derivation and what a load returns are those of
// vantry_c.h.
#ifndef VANTRY_VANTRY_HPP_
#define VANTRY_VANTRY_HPP_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "vantry/vantry_c.h"

namespace vantry {

// The statuses of vantry_c.h as an error code enumeration.
enum class Status : int {
  kOk = VANTRY_OK,
  kWrongKey = VANTRY_ERROR_WRONG_KEY,
  kBlockSize = VANTRY_ERROR_BLOCK_SIZE,
  kTooLarge = VANTRY_ERROR_TOO_LARGE,
  kFile = VANTRY_ERROR_FILE,
  kInvalidArgument = VANTRY_ERROR_INVALID_ARGUMENT,
  kOutOfMemory = VANTRY_ERROR_OUT_OF_MEMORY,
  kInternal = VANTRY_ERROR_INTERNAL,
  // Sealed files.
  kNotSealed = VANTRY_ERROR_NOT_SEALED,
  kUnsupportedVersion = VANTRY_ERROR_UNSUPPORTED_VERSION,
  kDamaged = VANTRY_ERROR_DAMAGED,
  kTruncated = VANTRY_ERROR_TRUNCATED,
  kOtherAccount = VANTRY_ERROR_OTHER_ACCOUNT,
  kWrongKeyKind = VANTRY_ERROR_WRONG_KEY_KIND,
  kSecretUnavailable = VANTRY_ERROR_SECRET_UNAVAILABLE,
  kNotAvailable = VANTRY_ERROR_NOT_AVAILABLE,
  kBootStateChanged = VANTRY_ERROR_BOOT_STATE_CHANGED,
  kTpmLockout = VANTRY_ERROR_TPM_LOCKOUT,
};

namespace detail {

class ErrorCategoryImpl : public std::error_category {
 public:
  const char* name() const noexcept override { return "vantry"; }
  std::string message(int status) const override { return vantry_status_text(status); }
  // The system's code of a file error is given by Error::system_code(); as a condition, a
  // lack of memory is what the standard calls it.
  std::error_condition default_error_condition(int status) const noexcept override {
    if (status == VANTRY_ERROR_OUT_OF_MEMORY) {
      return std::errc::not_enough_memory;
    }
    if (status == VANTRY_ERROR_INVALID_ARGUMENT) {
      return std::errc::invalid_argument;
    }
    return std::error_condition(status, *this);
  }
};

}  // namespace detail

// One category per program (an inline function's static is shared by every translation unit).
inline const std::error_category& ErrorCategory() noexcept {
  static const detail::ErrorCategoryImpl category;
  return category;
}

inline std::error_code make_error_code(Status status) noexcept {
  return std::error_code(static_cast<int>(status), ErrorCategory());
}

// A failed call: code() tells the kind of failure, what() the library's message, and
// system_code() the system's code of a Status::kFile (errno, GetLastError()), else 0.
class Error : public std::system_error {
 public:
  Error(Status status, const std::string& message, int systemCode)
      : std::system_error(make_error_code(status), message),
        m_message(std::make_shared<const std::string>(message)),
        m_systemCode(systemCode) {}
  Status status() const noexcept { return static_cast<Status>(code().value()); }
  int system_code() const noexcept { return m_systemCode; }
  // The library's message alone, without the category's text that std::system_error adds.
  const char* what() const noexcept override { return m_message->c_str(); }

 private:
  // Shared, so that copying the exception (as throw and catch do) cannot throw.
  std::shared_ptr<const std::string> m_message;
  int m_systemCode;
};

namespace detail {

inline void ThrowIfFailed(int status) {
  if (status != VANTRY_OK) {
    throw Error(static_cast<Status>(status), vantry_last_error(), vantry_last_system_error());
  }
}

// Overwrites memory in a way the optimiser keeps even when the memory is released next.
inline void Wipe(void* data, std::size_t size) noexcept {
  volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    p[i] = 0;
  }
}

}  // namespace detail

// A file name as the library takes it, UTF-8, from whatever the host holds. Strings of char
// (const char*, std::string, std::string_view, and u8"..." literals, which are char in C++17)
// are taken as UTF-8, as the C interface takes them; they are not read in the ANSI code page on
// Windows, as std::filesystem::path would read them. Strings of char8_t (C++20), wide strings
// and std::filesystem::path are converted to UTF-8. Built in the call's argument, so it is
// never stored.
class Name {
 public:
  Name(const char* utf8) : m_utf8(utf8 != nullptr ? utf8 : "") {}
  Name(const std::string& utf8) : m_utf8(utf8) {}
  Name(std::string_view utf8) : m_utf8(utf8) {}
#if defined(__cpp_char8_t)
  Name(const char8_t* utf8) : Name(std::u8string_view(utf8)) {}
  Name(std::u8string_view utf8) : m_utf8(utf8.begin(), utf8.end()) {}
  Name(const std::u8string& utf8) : Name(std::u8string_view(utf8)) {}
#endif
  Name(const wchar_t* name) : Name(std::filesystem::path(name)) {}
  Name(const std::wstring& name) : Name(std::filesystem::path(name)) {}
  Name(const std::filesystem::path& path) {
#if defined(__cpp_char8_t)
    const std::u8string utf8 = path.u8string();
    m_utf8.assign(utf8.begin(), utf8.end());
#else
    m_utf8 = path.u8string();
#endif
  }

  const char* c_str() const noexcept { return m_utf8.c_str(); }

 private:
  std::string m_utf8;
};

// Where a key comes from: the machine key, a key text or the 16 bytes of an AES-128 key (see
// vantry_c.h for how they relate). A Key keeps its own copy of the text or bytes and wipes it
// when destroyed.
class Key {
 public:
  static Key Machine() { return Key(VANTRY_KEY_MACHINE, nullptr, 0); }
  static Key Text(std::string_view text) { return Key(VANTRY_KEY_TEXT, text.data(), text.size()); }
  static Key Bytes(const void* bytes, std::size_t size) {
    return Key(VANTRY_KEY_BYTES, bytes, size);
  }

  Key(const Key& other) : Key(other.m_kind, other.m_data.data(), other.m_data.size()) {}
  Key& operator=(const Key& other) {
    if (this != &other) {
      Key copy(other);
      Swap(copy);
    }
    return *this;
  }
  Key(Key&& other) noexcept : m_kind(other.m_kind) { m_data.swap(other.m_data); }
  Key& operator=(Key&& other) noexcept {
    Swap(other);
    return *this;
  }
  ~Key() { detail::Wipe(&m_data[0], m_data.capacity()); }

  int kind() const noexcept { return m_kind; }
  const void* data() const noexcept { return m_data.empty() ? nullptr : m_data.data(); }
  std::size_t size() const noexcept { return m_data.size(); }

 private:
  Key(int kind, const void* data, std::size_t size) : m_kind(kind) {
    if (size > 0) {
      // Reserved first, so that no shorter copy is left behind unwiped by a reallocation.
      m_data.reserve(size);
      m_data.assign(static_cast<const char*>(data), size);
    }
  }
  void Swap(Key& other) noexcept {
    std::swap(m_kind, other.m_kind);
    m_data.swap(other.m_data);
  }

  int m_kind;
  std::string m_data;
};

// A loaded block: it owns the library's allocation and wipes and frees it on destruction.
// Move-only. size() is the length a load gives, the file's size (see vantry_c.h).
class Buffer {
 public:
  Buffer() noexcept = default;
  Buffer(unsigned char* data, std::size_t size) noexcept : m_data(data), m_size(size) {}
  Buffer(Buffer&& other) noexcept
      : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}
  Buffer& operator=(Buffer&& other) noexcept {
    if (this != &other) {
      reset();
      m_data = std::exchange(other.m_data, nullptr);
      m_size = std::exchange(other.m_size, 0);
    }
    return *this;
  }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer() { reset(); }

  unsigned char* data() noexcept { return m_data; }
  const unsigned char* data() const noexcept { return m_data; }
  std::size_t size() const noexcept { return m_size; }
  bool empty() const noexcept { return m_size == 0; }
  unsigned char* begin() noexcept { return m_data; }
  unsigned char* end() noexcept { return m_data + m_size; }
  const unsigned char* begin() const noexcept { return m_data; }
  const unsigned char* end() const noexcept { return m_data + m_size; }
  unsigned char& operator[](std::size_t i) noexcept { return m_data[i]; }
  const unsigned char& operator[](std::size_t i) const noexcept { return m_data[i]; }

  // Wipes and releases the block now.
  void reset() noexcept {
    vantry_free(m_data, m_size);
    m_data = nullptr;
    m_size = 0;
  }

 private:
  unsigned char* m_data = nullptr;
  std::size_t m_size = 0;
};

// Encrypts size bytes at data into the protected file name. Throws vantry::Error.
inline void Save(const Name& name, const void* data, std::size_t size, const Key& key) {
  detail::ThrowIfFailed(vantry_save(name.c_str(), data, size, key.kind(), key.data(), key.size()));
}

// The same for any contiguous container of bytes (std::vector<unsigned char>, std::string,
// std::array<std::byte, N>, ...).
template <class Bytes, class = decltype(std::data(std::declval<const Bytes&>()))>
void Save(const Name& name, const Bytes& bytes, const Key& key) {
  static_assert(sizeof(*std::data(bytes)) == 1, "Save takes containers of bytes");
  Save(name, std::data(bytes), std::size(bytes), key);
}

// Decrypts the protected file name. Throws vantry::Error.
inline Buffer Load(const Name& name, const Key& key) {
  unsigned char* data = nullptr;
  std::size_t size = 0;
  detail::ThrowIfFailed(
      vantry_load(name.c_str(), key.kind(), key.data(), key.size(), &data, &size));
  return Buffer(data, size);
}

// ---- Sealed files (vantry_seal, vantry_unseal): authenticated, exact length. ----

// The key of a sealed file; wiped when it goes.
class SealedFileKey {
 public:
  static SealedFileKey Account() { return SealedFileKey(VANTRY_SEALED_ACCOUNT, {}); }
  static SealedFileKey Machine() { return SealedFileKey(VANTRY_SEALED_MACHINE, {}); }
  // The passphrase's bytes as given, through PBKDF2-HMAC-SHA256 (see vantry_c.h).
  static SealedFileKey Passphrase(std::string_view passphrase) {
    return SealedFileKey(VANTRY_SEALED_PASSPHRASE, passphrase);
  }
  // Exactly VANTRY_SEALED_RAW_KEY_LENGTH bytes.
  static SealedFileKey Raw(const void* bytes, std::size_t size) {
    return SealedFileKey(VANTRY_SEALED_RAW,
                         std::string_view(static_cast<const char*>(bytes), size));
  }
  // A recipient's text ("vantry1..."), for sealing; an identity's ("VANTRY-SECRET-KEY-1..."),
  // for unsealing. Not on Windows (Status::kNotAvailable).
  static SealedFileKey Recipient(std::string_view text) {
    return SealedFileKey(VANTRY_SEALED_RECIPIENT, text);
  }
  static SealedFileKey Identity(std::string_view text) {
    return SealedFileKey(VANTRY_SEALED_IDENTITY, text);
  }

  // This machine's TPM, bound to the present values of the SHA-256 PCRs in pcrMask (bit n for
  // PCR n; 0 for none). Not available on Windows.
  static SealedFileKey Tpm(std::uint32_t pcrMask = 0) {
    char mask[sizeof pcrMask];
    std::memcpy(mask, &pcrMask, sizeof mask);
    return SealedFileKey(VANTRY_SEALED_TPM, std::string_view(mask, sizeof mask));
  }

  int kind() const noexcept { return m_kind; }
  const Key& bytes() const noexcept { return m_bytes; }

 private:
  SealedFileKey(int kind, std::string_view bytes) : m_kind(kind), m_bytes(Key::Text(bytes)) {}
  int m_kind;
  Key m_bytes;  // holds and wipes the bytes; its own kind is not used
};

// Seals size bytes at data as the file name. Throws vantry::Error.
inline void Seal(const Name& name, const void* data, std::size_t size, const SealedFileKey& key) {
  detail::ThrowIfFailed(
      vantry_seal(name.c_str(), data, size, key.kind(), key.bytes().data(), key.bytes().size()));
}

template <class Bytes, class = decltype(std::data(std::declval<const Bytes&>()))>
void Seal(const Name& name, const Bytes& bytes, const SealedFileKey& key) {
  static_assert(sizeof(*std::data(bytes)) == 1, "Seal takes containers of bytes");
  Seal(name, std::data(bytes), std::size(bytes), key);
}

// The data of the sealed file name, all of it verified. Throws vantry::Error (status()
// kDamaged, kTruncated, kWrongKey, kNotSealed, ...).
inline Buffer Unseal(const Name& name, const SealedFileKey& key) {
  unsigned char* data = nullptr;
  std::size_t size = 0;
  detail::ThrowIfFailed(vantry_unseal(name.c_str(), key.kind(), key.bytes().data(),
                                      key.bytes().size(), &data, &size));
  return Buffer(data, size);
}

namespace detail {

inline std::vector<vantry_sealed_key> CKeys(const std::vector<SealedFileKey>& keys) {
  std::vector<vantry_sealed_key> out;
  for (const SealedFileKey& key : keys) {
    out.push_back({key.kind(), key.bytes().data(), key.bytes().size()});
  }
  return out;
}

}  // namespace detail

// Several keys per file: a slot for each (at most VANTRY_SEALED_MAX_KEYS), any one of which
// unseals. Throws vantry::Error.
inline void Seal(const Name& name, const void* data, std::size_t size,
                 const std::vector<SealedFileKey>& keys) {
  const std::vector<vantry_sealed_key> c = detail::CKeys(keys);
  detail::ThrowIfFailed(vantry_seal_keys(name.c_str(), data, size, c.data(), c.size()));
}

inline Buffer Unseal(const Name& name, const std::vector<SealedFileKey>& keys) {
  const std::vector<vantry_sealed_key> c = detail::CKeys(keys);
  unsigned char* data = nullptr;
  std::size_t size = 0;
  detail::ThrowIfFailed(vantry_unseal_keys(name.c_str(), c.data(), c.size(), &data, &size));
  return Buffer(data, size);
}

// Buffer to buffer, for sealed blobs kept elsewhere than in files. Throws vantry::Error.
inline Buffer SealBuffer(const void* data, std::size_t size,
                         const std::vector<SealedFileKey>& keys) {
  const std::vector<vantry_sealed_key> c = detail::CKeys(keys);
  unsigned char* out = nullptr;
  std::size_t outSize = 0;
  detail::ThrowIfFailed(vantry_seal_buffer(data, size, c.data(), c.size(), &out, &outSize));
  return Buffer(out, outSize);
}

inline Buffer UnsealBuffer(const void* sealed, std::size_t size,
                           const std::vector<SealedFileKey>& keys) {
  const std::vector<vantry_sealed_key> c = detail::CKeys(keys);
  unsigned char* out = nullptr;
  std::size_t outSize = 0;
  detail::ThrowIfFailed(vantry_unseal_buffer(sealed, size, c.data(), c.size(), &out, &outSize));
  return Buffer(out, outSize);
}

// The slots of the sealed file name, one line each ("N\tkind\tidentifier or cost").
inline std::string SealedSlots(const Name& name) {
  char* listing = nullptr;
  std::size_t size = 0;
  int version = 0;
  detail::ThrowIfFailed(vantry_sealed_slots(name.c_str(), &version, &listing, &size));
  const std::string text(listing, size);
  vantry_free(listing, size + 1);
  return text;
}

// The version of the library that is running, "1.1.0".
inline std::string_view Version() noexcept { return vantry_version(); }

}  // namespace vantry

namespace std {
template <>
struct is_error_code_enum<vantry::Status> : true_type {};
}  // namespace std

#endif  // VANTRY_VANTRY_HPP_
