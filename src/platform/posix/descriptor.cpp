#include "platform/posix/descriptor.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>

namespace vantry::platform::posix {

const passwd* UserEntry(uid_t uid, passwd* entry, std::vector<char>* buffer) {
  buffer->resize(16384);
  passwd* found = nullptr;
  return ::getpwuid_r(uid, entry, buffer->data(), buffer->size(), &found) == 0 ? found : nullptr;
}

std::string UserText(uid_t uid) {
  passwd entry{};
  std::vector<char> buffer;
  const passwd* found = UserEntry(uid, &entry, &buffer);
  return "user " + std::to_string(uid) +
         (found != nullptr ? " (" + std::string(found->pw_name) + ")" : std::string());
}

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

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

namespace {

int OpenAt(int folder, const std::string& name, int flags,
           const std::function<void()>& interrupted) {
  for (;;) {
    const int fd = ::openat(folder, name.c_str(), flags);
    if (fd >= 0 || errno != EINTR) {
      return fd;
    }
    if (interrupted) {
      interrupted();
    }
  }
}

}  // namespace

int OpenWithoutForeignLink(const std::string& fileName, int flags,
                           const std::function<void()>& interrupted) {
  const auto slash = fileName.rfind('/');
  const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  if (base.empty()) {  // "/" or a name ending in a slash: a folder, which callers refuse
    return OpenAt(AT_FDCWD, fileName, flags, interrupted);
  }
  const std::string folderPath = slash == std::string::npos ? ""
                                 : slash == 0               ? "/"
                                                            : fileName.substr(0, slash);
  const int folder = OpenFolder(AT_FDCWD, folderPath);
  if (folder < 0) {
    return -1;
  }
  Descriptor closesFolder(folder);  // also when interrupted throws
  int fd = OpenAt(folder, base, flags | O_NOFOLLOW, interrupted);
  if (fd < 0 && errno == ELOOP) {
    struct stat folderInfo {};
    struct stat link {};
    if (::fstat(folder, &folderInfo) != 0 ||
        ::fstatat(folder, base.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0) {
      fd = -1;
    } else if (S_ISLNK(link.st_mode) && !TrustedIn(folderInfo, link)) {
      errno = EACCES;
    } else {
      // Nobody but the link's trusted owner can swap it in a sticky folder.
      fd = OpenAt(folder, base, flags, interrupted);
    }
  }
  const int error = errno;
  closesFolder.reset(-1);
  errno = error;
  return fd;
}

}  // namespace vantry::platform::posix
