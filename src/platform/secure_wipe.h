// Secret memory: wiping that the optimiser cannot remove, comparison whose time does not tell
// where two secrets differ, and fixed-size arrays that wipe themselves. Keys, round keys,
// digests derived from keys and plain text are held and released through these alone.
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

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_SECURE_WIPE_H_
