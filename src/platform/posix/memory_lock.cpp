#include "platform/memory_lock.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace vantry::platform {
namespace {

// The page-aligned range holding [p, p + n): madvise needs an aligned start.
bool Pages(void* p, std::size_t n, void** start, std::size_t* length) {
  if (p == nullptr || n == 0) {
    return false;
  }
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  const auto page = static_cast<std::uintptr_t>(pageSize > 0 ? pageSize : 4096);
  const auto begin = reinterpret_cast<std::uintptr_t>(p) & ~(page - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(p) + n + page - 1) & ~(page - 1);
  *start = reinterpret_cast<void*>(begin);
  *length = static_cast<std::size_t>(end - begin);
  return true;
}

}  // namespace

void LockSecretMemory(void* p, std::size_t n) noexcept {
  void* start = nullptr;
  std::size_t length = 0;
  if (!Pages(p, n, &start, &length)) {
    return;
  }
  // Either may be refused (RLIMIT_MEMLOCK, an old kernel); the memory is then used as it is.
  if (::mlock(start, length) != 0) {
  }
#ifdef MADV_DONTDUMP
  if (::madvise(start, length, MADV_DONTDUMP) != 0) {
  }
#endif
}

void UnlockSecretMemory(void* p, std::size_t n) noexcept {
  void* start = nullptr;
  std::size_t length = 0;
  if (Pages(p, n, &start, &length) && ::munlock(start, length) != 0) {
    // Not locked (refused earlier): nothing to undo.
  }
  // The pages stay out of core dumps: whatever the heap puts there next is as well off there.
}

}  // namespace vantry::platform
