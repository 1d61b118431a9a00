#include "support/other_user.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace vantry::test {

bool CanActAsOtherUser() { return ::geteuid() == 0; }

bool AsOtherUser(const std::function<bool()>& action) {
  const pid_t child = ::fork();
  if (child < 0) {
    return false;
  }
  if (child == 0) {
    bool ok = false;
    if (::setgroups(0, nullptr) == 0 && ::setgid(kOtherUserId) == 0 &&
        ::setuid(kOtherUserId) == 0) {
      try {
        ok = action();
      } catch (...) {
        ok = false;
      }
    }
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      return false;
    }
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool OwnerAndMode(const std::string& path, unsigned* owner, unsigned* mode) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    return false;
  }
  *owner = info.st_uid;
  *mode = info.st_mode & 07777;
  return true;
}

}  // namespace vantry::test
