#include "platform/memory_lock.h"

#include "platform/windows/win32.h"

namespace vantry::platform {

// Windows writes no core files of its own; a crash dump is up to Windows Error Reporting.
void LockSecretMemory(void* p, std::size_t n) noexcept {
  // Refused beyond the process's minimum working set: the memory is then used as it is.
  if (p != nullptr && n != 0 && !VirtualLock(p, n)) {
  }
}

void UnlockSecretMemory(void* p, std::size_t n) noexcept {
  if (p != nullptr && n != 0 && !VirtualUnlock(p, n)) {
  }
}

}  // namespace vantry::platform
