#include "platform/secure_wipe.h"

#include "platform/windows/win32.h"

namespace vantry::platform {

void SecureWipe(void* p, std::size_t n) noexcept {
  if (p == nullptr || n == 0) {
    return;
  }
  // SecureZeroMemory writes through a volatile pointer, which the optimiser must keep even
  // when the memory is freed right afterwards.
  SecureZeroMemory(p, n);
}

}  // namespace vantry::platform
