#include "platform/posix/descriptor.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vantry::platform::posix {

bool TryLockExclusive(int fd) noexcept {
  // flock locks belong to the open file description, so two opens of one file conflict even
  // inside one process, as two share-nothing opens do on Windows.
  return RetryOnInterrupt([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0;
}

int OpenFolder(int relativeTo, const std::string& folder) {
  const std::string path = folder.empty() ? "." : folder;
  return RetryOnInterrupt([&] {
    return ::openat(relativeTo, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
  });
}

bool IsSharedStickyFolder(const struct stat& folder) noexcept {
  return (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & (S_IWOTH | S_IWGRP)) != 0;
}

bool TrustedIn(const struct stat& folder, const struct stat& entry) noexcept {
  return !IsSharedStickyFolder(folder) || entry.st_uid == ::geteuid() ||
         entry.st_uid == folder.st_uid;
}

}  // namespace vantry::platform::posix
