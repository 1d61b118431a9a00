// Small helpers of the POSIX file code: system calls that retry when a signal interrupts them,
// and raising a FileError from errno.
#ifndef VANTRY_PLATFORM_POSIX_DESCRIPTOR_H_
#define VANTRY_PLATFORM_POSIX_DESCRIPTOR_H_

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "vantry/file_error.h"

namespace vantry::platform::posix {

// Owns one descriptor, closed when it goes, however the scope ends.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : m_fd(fd) {}
  ~Descriptor() {
    if (m_fd >= 0) {
      ::close(m_fd);
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return m_fd; }
  void reset(int fd) {
    if (m_fd >= 0) {
      ::close(m_fd);
    }
    m_fd = fd;
  }
  int release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
  }

 private:
  int m_fd;
};

[[noreturn]] inline void ThrowFileError(FileError::Cause cause, const std::string& name,
                                        int error) {
  throw FileError(cause, name, std::error_code(error, std::system_category()));
}

// Repeats call() while it fails with EINTR: a signal that arrives during a blocking call is no
// reason to fail the operation.
template <typename Call>
auto RetryOnInterrupt(Call call) -> decltype(call()) {
  for (;;) {
    auto result = call();
    if (result != -1 || errno != EINTR) {
      return result;
    }
  }
}

// Takes an exclusive lock without waiting; false with errno set when another holder has it.
bool TryLockExclusive(int fd) noexcept;

// Opens a folder (relative to relativeTo; "" is the current one) for the *at calls.
int OpenFolder(int relativeTo, const std::string& folder);

// Where the kernel's protected_symlinks and protected_regular rules (in their strict form, 2)
// apply: a sticky folder that others may write, everyone or a group, where they can plant
// names but not remove ours.
bool IsSharedStickyFolder(const struct stat& folder) noexcept;

// In such a folder only what the caller or the folder's owner made is trusted, for reading
// through a link as for writing.
bool TrustedIn(const struct stat& folder, const struct stat& entry) noexcept;

// Opens fileName with flags as the writer finds its target: the last component without
// following a link, and a link there only when TrustedIn its folder. Otherwise another user
// could plant a link in a shared sticky folder to a file only the caller may read (and have
// its content saved where they can read it) or to a stream of their choosing. A signal that
// interrupts a blocking open (a FIFO waiting for its writer) runs interrupted, which may throw
// to end the wait; without it the open is retried. Returns -1 with errno set on failure.
int OpenWithoutForeignLink(const std::string& fileName, int flags,
                           const std::function<void()>& interrupted = {});

// The password database's entry of uid, held in buffer; nullptr when there is none.
const passwd* UserEntry(uid_t uid, passwd* entry, std::vector<char>* buffer);

// How messages name a user ("user 1000 (ann)") and a mode ("0644").
std::string UserText(uid_t uid);
std::string ModeText(mode_t mode);

}  // namespace vantry::platform::posix

#endif  // VANTRY_PLATFORM_POSIX_DESCRIPTOR_H_
