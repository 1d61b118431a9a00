#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/file.h"
#include "platform/posix/descriptor.h"
#include "platform/write_fault.h"

namespace vantry::platform {
namespace {

using posix::RetryOnInterrupt;
using posix::ThrowFileError;
using Cause = FileError::Cause;

constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// The temporary name adds 15 bytes to the target's; a long target name is shortened in it so
// the temporary name stays within NAME_MAX (255 on every file system we meet).
constexpr std::size_t kMaxBaseInTempName = 200;
constexpr const char kTempSuffix[] = ".vantry-XXXXXX";

// O_NONBLOCK: opening a FIFO for writing would otherwise wait for a reader. Nothing is ever
// written through the target's descriptor, so the flag does no harm.
constexpr int kTargetFlags = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// Opens the target for writing without truncating it. O_EXCL tells whether this call created
// it, which decides whether an abandoned write removes it again.
int OpenTarget(const std::string& name, bool* created) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = RetryOnInterrupt(
        [&] { return ::open(name.c_str(), kTargetFlags | O_CREAT | O_EXCL, 0666); });
    if (fd >= 0) {
      *created = true;
      return fd;
    }
    if (errno != EEXIST) {
      break;
    }
    fd = RetryOnInterrupt([&] { return ::open(name.c_str(), kTargetFlags); });
    if (fd >= 0) {
      return fd;
    }
    // Removed between the two opens: try again. A dangling symlink ends up here every time.
    if (errno != ENOENT) {
      break;
    }
  }
  ThrowFileError(Cause::kCreate, name, errno);
}

// A symlinked target is replaced where the link points, as writing through the link would,
// instead of turning the link itself into a plain file.
std::string ResolveTarget(const std::string& name) {
  struct stat info {};
  if (::lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
    return name;
  }
  char* resolved = ::realpath(name.c_str(), nullptr);
  if (resolved == nullptr) {
    ThrowFileError(Cause::kCreate, name, errno);
  }
  std::string path(resolved);
  ::free(resolved);
  return path;
}

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TempTemplateFor(const std::string& path) {
  const auto slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.size() > kMaxBaseInTempName) {
    base.resize(kMaxBaseInTempName);
  }
  // A leading dot keeps the unfinished file out of plain directory listings.
  return directory + "." + base + kTempSuffix;
}

// The temporary of a writer that was killed stays behind; the next writer of the same target
// removes it. Every writer holds an exclusive lock on its temporary until the temporary is gone
// or renamed, and the kernel drops that lock when the process dies, so a temporary that can be
// locked belongs to no live writer.
bool IsTempNameOf(const std::string& entry, const std::string& prefix) {
  const std::size_t randomPart = sizeof kTempSuffix - 1 - (sizeof ".vantry-" - 1);
  return entry.size() == prefix.size() + randomPart && entry.compare(0, prefix.size(), prefix) == 0;
}

void RemoveAbandonedTemps(const std::string& tempName, int ownTemp) {
  const std::string directory = DirectoryOf(tempName);
  const auto slash = tempName.rfind('/');
  const std::string own = slash == std::string::npos ? tempName : tempName.substr(slash + 1);
  // ".<base>.vantry-" without the random part.
  const std::string prefix = own.substr(0, own.size() - (sizeof kTempSuffix - 1) + 8);
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) {
    return;
  }
  struct stat ownInfo {};
  (void)::fstat(ownTemp, &ownInfo);
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == own || !IsTempNameOf(name, prefix)) {
      continue;
    }
    const std::string path = slash == std::string::npos ? name : directory + "/" + name;
    const int fd = RetryOnInterrupt([&] {
      return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    });
    if (fd < 0) {
      continue;
    }
    struct stat held {};
    struct stat named {};
    // Only a regular file that the name still denotes, and that no live writer holds.
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_ino != ownInfo.st_ino &&
        posix::TryLockExclusive(fd) && ::lstat(path.c_str(), &named) == 0 &&
        named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
      ::unlink(path.c_str());
    }
    ::close(fd);
  }
  ::closedir(listing);
}

int MakeTemp(std::string* name) {
  std::vector<char> buffer(name->begin(), name->end());
  buffer.push_back('\0');
#if defined(__GLIBC__)
  const int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
#else
  const int fd = ::mkstemp(buffer.data());
  if (fd >= 0) {
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
#endif
  if (fd >= 0) {
    name->assign(buffer.data());
  }
  return fd;
}

// Flushes the directory entry of the rename to disk. File systems that cannot sync a
// directory say EINVAL; there is nothing more to do on them.
int SyncDirectory(const std::string& directory) {
  const int fd = RetryOnInterrupt(
      [&] { return ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) {
    return errno;
  }
  int error = 0;
  if (RetryOnInterrupt([fd] { return ::fsync(fd); }) != 0 && errno != EINVAL) {
    error = errno;
  }
  ::close(fd);
  return error;
}

}  // namespace

AtomicWriter::AtomicWriter(const std::string& targetName, OutputContents contents)
    : m_targetName(targetName),
      m_target(-1),
      m_temp(-1),
      m_contents(contents),
      m_createdTarget(false),
      m_committed(false) {
  m_target = OpenTarget(targetName, &m_createdTarget);
  m_targetPath = targetName;
  const int target = static_cast<int>(m_target);

  struct stat info {};
  if (::fstat(target, &info) != 0) {
    Fail(Cause::kCreate, errno);
  }
  // Renaming over a device or FIFO would replace the node itself (think /dev/null as root).
  if (!S_ISREG(info.st_mode)) {
    Fail(Cause::kCreate, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
  }
  if (!posix::TryLockExclusive(target)) {
    const int error = errno;
    // Someone else holds the file; even if this call created it, it is theirs now.
    m_createdTarget = false;
    Fail(Cause::kCreate, error);
  }
  try {
    m_targetPath = ResolveTarget(targetName);
  } catch (const FileError& e) {
    Fail(Cause::kCreate, e.code().value());
  }

  // Between creating its temporary and locking it, a writer can lose it to another writer's
  // sweep of abandoned temporaries; it then simply makes another.
  int temp = -1;
  for (int attempt = 0; attempt < 8 && temp < 0; ++attempt) {
    m_tempName = TempTemplateFor(m_targetPath);
    temp = MakeTemp(&m_tempName);
    if (temp < 0) {
      Fail(Cause::kCreate, errno);
    }
    struct stat held {};
    struct stat named {};
    if (!posix::TryLockExclusive(temp) || ::fstat(temp, &held) != 0 ||
        ::lstat(m_tempName.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
        held.st_dev != named.st_dev) {
      ::close(temp);
      temp = -1;
    }
  }
  if (temp < 0) {
    Fail(Cause::kCreate, EEXIST);
  }
  m_temp = temp;
  RemoveAbandonedTemps(m_tempName, temp);
  // The replacement gets the target's owner and permissions, as rewriting it in place would
  // have kept them; for a new target that is the mode open() gave it under the umask.
  // Changing the owner needs privileges we may lack; the file then stays ours, as a newly
  // created file would.
  if (::fchown(temp, info.st_uid, info.st_gid) != 0) {
    if (::fchown(temp, static_cast<uid_t>(-1), info.st_gid) != 0) {
      // Not even the group: the file stays ours and our group's, as a new file would be.
    }
  }
  if (::fchmod(temp, info.st_mode & 07777) != 0) {
    Fail(Cause::kCreate, errno);
  }
}

AtomicWriter::~AtomicWriter() { Abandon(); }

void AtomicWriter::Write(const void* data, std::size_t n) {
  if (m_failure) {
    std::rethrow_exception(m_failure);
  }
  if (m_committed) {
    ThrowFileError(Cause::kWrite, m_targetName, EBADF);
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  const int temp = static_cast<int>(m_temp);
  while (n > 0) {
    const std::size_t allowed = detail::WriteAllowance(n < kMaxTransfer ? n : kMaxTransfer);
    if (allowed == 0) {
      Fail(Cause::kWrite, ENOSPC);
    }
    const ssize_t written = RetryOnInterrupt([&] { return ::write(temp, bytes, allowed); });
    if (written < 0) {
      Fail(Cause::kWrite, errno);
    }
    if (written == 0) {  // no progress and no error: treat as the device refusing more
      Fail(Cause::kWrite, ENOSPC);
    }
    detail::CountWritten(static_cast<std::size_t>(written));
    bytes += written;
    n -= static_cast<std::size_t>(written);
  }
}

void AtomicWriter::Commit() {
  if (m_failure) {
    std::rethrow_exception(m_failure);
  }
  if (m_committed) {
    return;
  }
  const int temp = static_cast<int>(m_temp);
  // Data first on disk, then the rename: a crash in between leaves the old target, never a
  // renamed but empty or partial file.
  if (RetryOnInterrupt([temp] { return ::fsync(temp); }) != 0) {
    Fail(Cause::kClose, errno);
  }
  m_temp = -1;
  // The lock on the temporary must outlast the close until the rename, or another writer's
  // sweep could take the finished file for an abandoned one; a duplicate descriptor keeps it.
  const int lockKeeper = ::fcntl(temp, F_DUPFD_CLOEXEC, 0);
  if (::close(temp) != 0) {
    const int error = errno;
    ::unlink(m_tempName.c_str());
    if (lockKeeper >= 0) {
      ::close(lockKeeper);
    }
    Fail(Cause::kClose, error);
  }
  const int renamed = ::rename(m_tempName.c_str(), m_targetPath.c_str());
  const int renameError = errno;
  if (renamed != 0) {
    ::unlink(m_tempName.c_str());
  }
  if (lockKeeper >= 0) {
    ::close(lockKeeper);
  }
  if (renamed != 0) {
    Fail(Cause::kReplace, renameError);
  }
  m_committed = true;
  const int syncError = SyncDirectory(DirectoryOf(m_targetPath));
  // Closing the old target's descriptor releases its lock; the new file is already in place.
  ::close(static_cast<int>(m_target));
  m_target = -1;
  if (syncError != 0) {
    // The new content is in place but may not survive a crash; say so rather than succeed.
    Fail(Cause::kReplace, syncError);
  }
}

void AtomicWriter::Fail(FileError::Cause cause, int error) {
  Abandon();
  m_failure = std::make_exception_ptr(
      FileError(cause, m_targetName, std::error_code(error, std::system_category())));
  std::rethrow_exception(m_failure);
}

void AtomicWriter::Abandon() noexcept {
  if (m_temp >= 0) {
    ::unlink(m_tempName.c_str());
    ::close(static_cast<int>(m_temp));
    m_temp = -1;
  }
  if (m_target < 0) {
    return;
  }
  const int target = static_cast<int>(m_target);
  if (m_createdTarget && !m_committed) {
    // Remove the empty file this writer created, but only if the name still denotes it: a
    // program that ignores our lock may have put another file there meanwhile.
    struct stat held {};
    struct stat named {};
    if (::fstat(target, &held) == 0 && ::lstat(m_targetPath.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino && named.st_size == 0) {
      ::unlink(m_targetPath.c_str());
    }
  }
  ::close(target);
  m_target = -1;
}

}  // namespace vantry::platform
