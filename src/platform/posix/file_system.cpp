#include "platform/file_system.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/descriptor.h"

namespace vantry::platform {
namespace {

using posix::RetryOnInterrupt;

// Puts from in place of a to that did not exist when it was examined, without ever replacing
// what may have appeared there since: in a shared folder that is a name another user planted, a
// link to follow or a file of theirs to take over. Where the file system has no
// RENAME_NOREPLACE, a hard link gives the same answer (EEXIST) and from is then removed.
int RenameNoReplace(int folder, const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    return errno;
  }
#endif
  if (::linkat(folder, from, folder, to, 0) != 0) {
    return errno;
  }
  ::unlinkat(folder, from, 0);
  return 0;
}

class PosixFileSystem final : public FileSystem {
 public:
  int Write(NativeHandle file, const void* data, std::size_t n, std::size_t* written) override {
    const ssize_t result =
        RetryOnInterrupt([&] { return ::write(static_cast<int>(file), data, n); });
    *written = result < 0 ? 0 : static_cast<std::size_t>(result);
    return result < 0 ? errno : 0;
  }

  int SyncFile(NativeHandle file) override {
    return RetryOnInterrupt([file] { return ::fsync(static_cast<int>(file)); }) == 0 ? 0 : errno;
  }

  // File systems that cannot sync a folder say EINVAL; there is nothing more to do on them.
  int SyncFolder(NativeHandle folder) override {
    const int error = SyncFile(folder);
    return error == EINVAL ? 0 : error;
  }

  int Rename(NativeHandle folder, const std::string& from, const std::string& to,
             RenameMode mode) override {
    const int at = static_cast<int>(folder);
    if (mode == RenameMode::kNoReplace) {
      return RenameNoReplace(at, from.c_str(), to.c_str());
    }
    return ::renameat(at, from.c_str(), at, to.c_str()) == 0 ? 0 : errno;
  }

  void Reached(WriterStep) override {}
};

}  // namespace

FileSystem& SystemFileSystem() {
  static PosixFileSystem system;
  return system;
}

int DiskFullError() noexcept { return ENOSPC; }

}  // namespace vantry::platform
