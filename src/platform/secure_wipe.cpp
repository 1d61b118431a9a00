// The parts of secret memory that are the same on every system; SecureWipe itself is the
// system's (posix/, windows/).
#include "platform/secure_wipe.h"

namespace vantry::platform {

void WipeString(std::string& s) noexcept {
  s.resize(s.capacity());
  SecureWipe(&s[0], s.size());
  s.clear();
}

bool EqualInConstantTime(const void* a, const void* b, std::size_t n) noexcept {
  // Volatile reads: the compiler may not stop at the first difference.
  const auto* x = static_cast<const volatile unsigned char*>(a);
  const auto* y = static_cast<const volatile unsigned char*>(b);
  unsigned char difference = 0;
  for (std::size_t i = 0; i < n; ++i) {
    difference = static_cast<unsigned char>(difference | (x[i] ^ y[i]));
  }
  return difference == 0;
}

}  // namespace vantry::platform
