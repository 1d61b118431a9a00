#include "platform/secure_wipe.h"

#include <string.h>

namespace vantry::platform {

void SecureWipe(void* p, std::size_t n) noexcept {
  if (p == nullptr || n == 0) {
    return;
  }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 25))
  explicit_bzero(p, n);
#else
  // Stores through a volatile pointer cannot be dropped as dead, and the barrier keeps the
  // compiler from assuming the memory is not read afterwards.
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(p);
  for (std::size_t i = 0; i < n; ++i) {
    bytes[i] = 0;
  }
#if defined(__GNUC__) || defined(__clang__)
  __asm__ __volatile__("" : : "r"(p) : "memory");
#endif
#endif
}

}  // namespace vantry::platform
