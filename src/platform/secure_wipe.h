// Secret memory: wiping that the optimiser cannot remove, comparison whose time does not tell
// where two secrets differ, fixed-size arrays and a growing buffer that wipe themselves. Keys,
// round keys, digests derived from keys and plain text are held and released through these alone.
#ifndef VANTRY_PLATFORM_SECURE_WIPE_H_
#define VANTRY_PLATFORM_SECURE_WIPE_H_

#include <cstddef>
#include <string>

namespace vantry::platform {

// Overwrites n bytes with zeros; kept even when the memory is freed right afterwards.
void SecureWipe(void* p, std::size_t n) noexcept;

// Wipes everything the string's buffer holds, up to its capacity (an assignment or a shorter
// content may have left earlier characters past size()), and empties it.
void WipeString(std::string& s) noexcept;

// Compares n bytes in a time that does not depend on where they differ, so a forged value
// cannot be found byte by byte from how long a refusal takes.
bool EqualInConstantTime(const void* a, const void* b, std::size_t n) noexcept;

// N bytes, zero at first, wiped when they go out of scope, however the scope ends.
template <std::size_t N>
struct SecretArray {
  unsigned char bytes[N] = {};

  SecretArray() = default;
  ~SecretArray() { SecureWipe(bytes, N); }
  SecretArray(const SecretArray&) = delete;
  SecretArray& operator=(const SecretArray&) = delete;

  unsigned char* data() noexcept { return bytes; }
  const unsigned char* data() const noexcept { return bytes; }
  static constexpr std::size_t size() noexcept { return N; }
};

// A growing block of secret bytes: each block it leaves for a larger one is wiped, and its last
// one is wiped on destruction (std::vector would leave copies behind as it grows). Its blocks
// are locked in memory and left out of core files where the system allows. They come from
// std::malloc, so a released block is freed with std::free (vantry_free, for a C host).
class SecretBuffer {
 public:
  SecretBuffer() = default;
  ~SecretBuffer();
  SecretBuffer(const SecretBuffer&) = delete;
  SecretBuffer& operator=(const SecretBuffer&) = delete;

  // Room for at least n more bytes after size(); returns where they go. Throws std::bad_alloc.
  unsigned char* Reserve(std::size_t n);
  // Counts n bytes written at the place Reserve returned.
  void Grow(std::size_t n) noexcept { m_size += n; }
  // Reserve and Grow for n bytes at data.
  void Append(const void* data, std::size_t n);

  const unsigned char* data() const noexcept { return m_data; }
  std::size_t size() const noexcept { return m_size; }

  // Hands the block over without wiping it, unlocked, never null (an empty buffer gives a
  // block of one byte); the buffer is empty afterwards. Throws std::bad_alloc.
  unsigned char* Release();

 private:
  void Free() noexcept;

  unsigned char* m_data = nullptr;
  std::size_t m_size = 0;
  std::size_t m_capacity = 0;
};

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_SECURE_WIPE_H_
