#include "platform/posix/descriptor.h"

#include <sys/file.h>

namespace vantry::platform::posix {

bool TryLockExclusive(int fd) noexcept {
  // flock locks belong to the open file description, so two opens of one file conflict even
  // inside one process, as two share-nothing opens do on Windows.
  return RetryOnInterrupt([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0;
}

}  // namespace vantry::platform::posix
