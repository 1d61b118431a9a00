// Keeps secrets (plain text, keys) out of swap and out of core files where the system allows.
//
// LockSecretMemory locks the pages holding [p, p + n) in memory (mlock; VirtualLock on Windows)
// and, on Linux, leaves them out of core dumps (MADV_DONTDUMP). Where the system refuses (a
// memory lock limit, a missing privilege, a system without the call) it does nothing more: the
// memory stays usable, only unprotected, and no caller fails for it. Locks cover whole pages and
// do not nest: UnlockSecretMemory unlocks every page the range touches, also for a neighbour on
// the same page. Call it before the memory is freed, so that freed pages do not stay locked.
#ifndef VANTRY_PLATFORM_MEMORY_LOCK_H_
#define VANTRY_PLATFORM_MEMORY_LOCK_H_

#include <cstddef>

namespace vantry::platform {

void LockSecretMemory(void* p, std::size_t n) noexcept;
void UnlockSecretMemory(void* p, std::size_t n) noexcept;

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_MEMORY_LOCK_H_
