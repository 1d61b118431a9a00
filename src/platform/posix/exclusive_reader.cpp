#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "platform/file.h"
#include "platform/posix/descriptor.h"

namespace vantry::platform {
namespace {

using posix::RetryOnInterrupt;
using posix::ThrowFileError;
using Cause = FileError::Cause;

// Larger reads are split: read(2) need not accept counts above SSIZE_MAX, and Linux caps a
// single transfer a little below 2 GiB anyway.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// O_NONBLOCK keeps the open of a FIFO without a writer from hanging (it is refused below).
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

}  // namespace

ExclusiveReader::ExclusiveReader(const std::string& fileName)
    : m_fileName(fileName), m_handle(-1), m_open(false) {
  const int fd = posix::OpenWithoutForeignLink(fileName, kOpenFlags);
  if (fd < 0) {
    ThrowFileError(Cause::kOpen, fileName, errno);
  }
  auto fail = [&](int error) {
    ::close(fd);
    ThrowFileError(Cause::kOpen, fileName, error);
  };
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    fail(errno);
  }
  // A directory opens read-only without complaint on POSIX but is no file to read.
  if (S_ISDIR(info.st_mode)) {
    fail(EISDIR);
  }
  // A FIFO has no content to read as a file's: without a writer yet it reads as empty, and
  // an empty input must never pass for the data. Programs that read streams open it themselves.
  if (S_ISFIFO(info.st_mode)) {
    fail(EINVAL);
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
    fail(errno);
  }
  if (!posix::TryLockExclusive(fd)) {
    fail(errno);
  }
  m_handle = fd;
  m_open = true;
}

ExclusiveReader::~ExclusiveReader() {
  if (m_open) {
    ::close(static_cast<int>(m_handle));
  }
}

std::uint64_t ExclusiveReader::Size() {
  if (!m_open) {
    ThrowFileError(Cause::kSize, m_fileName, EBADF);
  }
  struct stat info {};
  if (::fstat(static_cast<int>(m_handle), &info) != 0) {
    ThrowFileError(Cause::kSize, m_fileName, errno);
  }
  if (info.st_size < 0) {
    ThrowFileError(Cause::kSize, m_fileName, EOVERFLOW);
  }
  return static_cast<std::uint64_t>(info.st_size);
}

std::size_t ExclusiveReader::ReadSome(void* buffer, std::size_t n) {
  if (!m_open) {
    ThrowFileError(Cause::kRead, m_fileName, EBADF);
  }
  if (n == 0) {
    return 0;
  }
  const std::size_t ask = n < kMaxTransfer ? n : kMaxTransfer;
  const ssize_t got =
      RetryOnInterrupt([&] { return ::read(static_cast<int>(m_handle), buffer, ask); });
  if (got < 0) {
    ThrowFileError(Cause::kRead, m_fileName, errno);
  }
  return static_cast<std::size_t>(got);
}

void ExclusiveReader::Close() {
  if (!m_open) {
    return;
  }
  m_open = false;
  // No retry on EINTR: Linux has released the descriptor either way, and a retry could close
  // a descriptor another thread has just been given.
  if (::close(static_cast<int>(m_handle)) != 0) {
    ThrowFileError(Cause::kClose, m_fileName, errno);
  }
}

}  // namespace vantry::platform
