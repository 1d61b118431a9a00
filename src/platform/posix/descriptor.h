// Small helpers of the POSIX file code: system calls that retry when a signal interrupts them,
// and raising a FileError from errno.
#ifndef VANTRY_PLATFORM_POSIX_DESCRIPTOR_H_
#define VANTRY_PLATFORM_POSIX_DESCRIPTOR_H_

#include <cerrno>
#include <string>
#include <system_error>

#include "vantry/file_error.h"

namespace vantry::platform::posix {

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

}  // namespace vantry::platform::posix

#endif  // VANTRY_PLATFORM_POSIX_DESCRIPTOR_H_
