#include "platform/standard_streams.h"

#include <unistd.h>

#include <cerrno>

#include "platform/posix/descriptor.h"

namespace vantry::platform {
namespace {

// read(2) and write(2) need not take counts above SSIZE_MAX.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

}  // namespace

std::size_t ReadStandardInput(void* buffer, std::size_t n) {
  if (n == 0) {
    return 0;
  }
  const ssize_t got = ::read(STDIN_FILENO, buffer, n < kMaxTransfer ? n : kMaxTransfer);
  if (got < 0) {
    posix::ThrowFileError(FileError::Cause::kRead, kStandardInputName, errno);
  }
  return static_cast<std::size_t>(got);
}

void WriteStandardOutput(const void* data, std::size_t n) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (n > 0) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes, n < kMaxTransfer ? n : kMaxTransfer);
    if (written < 0) {
      posix::ThrowFileError(FileError::Cause::kWrite, kStandardOutputName, errno);
    }
    if (written == 0) {  // no progress and no error: the device takes no more
      posix::ThrowFileError(FileError::Cause::kWrite, kStandardOutputName, ENOSPC);
    }
    bytes += written;
    n -= static_cast<std::size_t>(written);
  }
}

}  // namespace vantry::platform
