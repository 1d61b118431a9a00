#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "platform/file.h"
#include "platform/posix/descriptor.h"
#include "platform/write_fault.h"

namespace vantry::platform {
namespace {

using posix::Descriptor;
using posix::RetryOnInterrupt;
using posix::ThrowFileError;
using Cause = FileError::Cause;

constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;
// Write-back of the output is started every time this much more of it has been written, so
// that the disk works while the rest is produced and the fsync at Commit finds little left.
constexpr std::uint64_t kWriteBackStep = std::uint64_t{8} << 20;

// The temporary name adds 25 bytes to the target's; a long target name is shortened in it so
// the temporary name stays within NAME_MAX (255 on every file system we meet).
constexpr std::size_t kMaxBaseInTempName = 200;
constexpr char kTempMarker[] = ".vantry-";
// Long enough that no name a person gives a file (".notes.vantry-backup") matches by chance,
// and that guessing the next name is hopeless.
constexpr std::size_t kTempRandomLength = 16;
constexpr char kTempAlphabet[] = "0123456789abcdef";
// As many links as the kernel follows in one lookup.
constexpr int kMaxLinkHops = 40;
constexpr int kMaxTempAttempts = 16;
// A folder whose entries take no more than this is swept for abandoned temporaries by every
// writer; a larger one only by writers that had to name their temporary from the start.
constexpr off_t kSmallFolderBytes = 32 * 1024;

// O_NONBLOCK: a FIFO that slipped in after the examination must not leave us waiting for a
// reader. Nothing is ever read through the target's descriptor, so the flag does no harm.
constexpr int kTargetFlags = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;

// Splits a path into its folder ("" for the current one) and its last component.
void SplitPath(const std::string& path, std::string* folder, std::string* base) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder->clear();
    *base = path;
  } else {
    *folder = slash == 0 ? "/" : path.substr(0, slash);
    *base = path.substr(slash + 1);
  }
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) {
    return name;
  }
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

using posix::IsSharedStickyFolder;
using posix::OpenFolder;
using posix::TrustedIn;

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Puts the finished temporary in place of a target that did not exist when it was examined,
// without ever replacing what may have appeared there since: in a shared folder that is a name
// another user planted, a link to follow or a file of theirs to take over. Where the file system
// has no RENAME_NOREPLACE, a hard link gives the same answer (EEXIST) and the temporary name is
// then removed.
int RenameNoReplace(int folder, const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    return -1;
  }
#endif
  if (::linkat(folder, from, folder, to, 0) != 0) {
    return -1;
  }
  ::unlinkat(folder, from, 0);
  return 0;
}

std::string ReadLinkAt(int folder, const std::string& name, int* error) {
  std::vector<char> text(256);
  for (;;) {
    const ssize_t n = ::readlinkat(folder, name.c_str(), text.data(), text.size());
    if (n < 0) {
      *error = errno;
      return {};
    }
    if (static_cast<std::size_t>(n) < text.size()) {
      *error = 0;
      return std::string(text.data(), static_cast<std::size_t>(n));
    }
    text.resize(text.size() * 2);
  }
}

// What the target name stands for once links are followed: the folder it lies in (opened),
// its name there, and its opened descriptor, or -1 when no file of that name exists yet.
struct FoundTarget {
  Descriptor folder;
  std::string folderPath;  // for messages and TempName only; never looked up again
  std::string base;
  Descriptor file;
  int error = 0;  // set when the target is refused or cannot be opened
};

void FindTarget(const std::string& targetName, FoundTarget* found) {
  std::string folderPath;
  SplitPath(targetName, &folderPath, &found->base);
  found->folder.reset(OpenFolder(AT_FDCWD, folderPath));
  if (found->folder.get() < 0) {
    found->error = errno;
    return;
  }
  found->folderPath = folderPath;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    const std::string& base = found->base;
    if (base.empty() || base == "." || base == "..") {
      found->error = base.empty() && targetName.empty() ? ENOENT : EISDIR;
      return;
    }
    const int folder = found->folder.get();
    struct stat folderInfo {};
    struct stat entry {};
    if (::fstat(folder, &folderInfo) != 0) {
      found->error = errno;
      return;
    }
    if (::fstatat(folder, base.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) {
        found->error = errno;
        return;
      }
      // A new target: the rename will create it, and replaces whatever someone puts at the
      // name meanwhile (a link too) instead of writing through it.
      detail::RunWriterHook(WriterStep::kTargetExamined);
      return;
    }
    if (S_ISLNK(entry.st_mode)) {
      if (!TrustedIn(folderInfo, entry)) {
        found->error = EACCES;
        return;
      }
      int error = 0;
      const std::string text = ReadLinkAt(folder, base, &error);
      struct stat again {};
      // The link read must be the link judged. In a sticky folder nobody but its owner or
      // the folder's owner can swap it; elsewhere the owner is not what decides.
      if (error != 0 || ::fstatat(folder, base.c_str(), &again, AT_SYMLINK_NOFOLLOW) != 0 ||
          !SameFile(entry, again)) {
        if (error != 0) {
          found->error = error;
          return;
        }
        continue;  // changed under us: examine the name again
      }
      std::string linkFolder;
      std::string linkBase;
      SplitPath(text, &linkFolder, &linkBase);
      const int next = OpenFolder(text[0] == '/' ? AT_FDCWD : folder, linkFolder);
      if (next < 0) {
        found->error = errno;
        return;
      }
      found->folder.reset(next);
      found->folderPath = text[0] == '/' ? linkFolder : JoinPath(found->folderPath, linkFolder);
      found->base = linkBase;
      continue;
    }
    // Anything but a regular file is refused before it is opened: opening a device can act on
    // it, and a rename would replace the node itself (think /dev/null as root).
    if (!S_ISREG(entry.st_mode)) {
      found->error = S_ISDIR(entry.st_mode) ? EISDIR : EINVAL;
      return;
    }
    detail::RunWriterHook(WriterStep::kTargetExamined);
    const int fd = RetryOnInterrupt([&] { return ::openat(folder, base.c_str(), kTargetFlags); });
    if (fd < 0) {
      // Replaced by a link (ELOOP) or removed since it was examined: examine it again.
      if (errno == ELOOP || errno == ENOENT) {
        continue;
      }
      found->error = errno;
      return;
    }
    found->file.reset(fd);
    // The decision that counts is made on what was opened.
    struct stat opened {};
    if (::fstat(fd, &opened) != 0) {
      found->error = errno;
      return;
    }
    if (!S_ISREG(opened.st_mode)) {
      found->error = EINVAL;
      return;
    }
    // A second name in such a folder may be a link someone made to a file elsewhere (where
    // fs.protected_hardlinks is off): its owner and mode, which the replacement would take
    // over, are not the ones meant for this name.
    if (!TrustedIn(folderInfo, opened) ||
        (IsSharedStickyFolder(folderInfo) && opened.st_nlink > 1)) {
      found->error = EACCES;
      return;
    }
    return;
  }
  found->error = ELOOP;
}

// How the writer names an unnamed temporary at commit: linkat through the descriptor's entry
// in /proc (AT_EMPTY_PATH would need a privilege).
std::string UnnamedPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// An unnamed temporary in the folder (O_TMPFILE), locked, or -1 where the kernel, the file
// system or a missing /proc does not allow one; a named one is made then.
int OpenUnnamedTemp(int folder, mode_t mode) {
#ifdef O_TMPFILE
  if (::access("/proc/self/fd", X_OK) != 0) {
    return -1;
  }
  const int fd = RetryOnInterrupt(
      [&] { return ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC | O_NOCTTY, mode); });
  if (fd >= 0 && !posix::TryLockExclusive(fd)) {
    ::close(fd);
    return -1;
  }
  return fd;
#else
  (void)folder;
  (void)mode;
  return -1;
#endif
}

std::string RandomSuffix() {
  std::uint64_t bits = 0;
  try {
    std::random_device device;
    bits = (std::uint64_t{device()} << 32) ^ device();
  } catch (...) {  // no entropy source: the exclusive create still keeps names apart
    static std::uint64_t counter = 0;
    bits = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
           (std::uint64_t{static_cast<std::uint32_t>(::getpid())} << 40) ^ ++counter;
  }
  std::string suffix(kTempRandomLength, '0');
  for (auto& c : suffix) {
    c = kTempAlphabet[bits & 15];
    bits >>= 4;
  }
  return suffix;
}

// ".<base>.vantry-", the part of a temporary's name that its target decides.
std::string TempPrefixFor(const std::string& base) {
  std::string shortened =
      base.size() > kMaxBaseInTempName ? base.substr(0, kMaxBaseInTempName) : base;
  // A leading dot keeps the unfinished file out of plain directory listings.
  return "." + shortened + kTempMarker;
}

bool IsTempNameOf(const std::string& entry, const std::string& prefix) {
  if (entry.size() != prefix.size() + kTempRandomLength ||
      entry.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  for (std::size_t i = prefix.size(); i < entry.size(); ++i) {
    if (std::strchr(kTempAlphabet, entry[i]) == nullptr || entry[i] == '\0') {
      return false;
    }
  }
  return true;
}

// The temporary of a writer that was killed stays behind; the next writer of the same target
// removes it. Every writer holds an exclusive lock on its temporary until the temporary is gone
// or renamed, and the kernel drops that lock when the process dies, so a temporary that can be
// locked belongs to no live writer. Anything that merely resembles a temporary stays.
void RemoveAbandonedTemps(int folder, const std::string& prefix, int ownTemp) {
  const int listing = OpenFolder(folder, ".");
  if (listing < 0) {
    return;
  }
  // Owned, so that a failure inside the loop (a name that cannot be copied) closes it too.
  const std::unique_ptr<DIR, int (*)(DIR*)> entries(::fdopendir(listing), &::closedir);
  if (entries == nullptr) {
    ::close(listing);
    return;
  }
  struct stat own {};
  (void)::fstat(ownTemp, &own);
  while (const dirent* entry = ::readdir(entries.get())) {
    const std::string name = entry->d_name;
    struct stat named {};
    if (!IsTempNameOf(name, prefix) ||
        ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(named.st_mode) || SameFile(named, own)) {
      continue;
    }
    Descriptor fd(RetryOnInterrupt([&] {
      return ::openat(folder, name.c_str(),
                      O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    }));
    struct stat held {};
    struct stat still {};
    if (fd.get() >= 0 && ::fstat(fd.get(), &held) == 0 && S_ISREG(held.st_mode) &&
        held.st_uid == ::geteuid() && held.st_nlink == 1 && posix::TryLockExclusive(fd.get()) &&
        ::fstatat(folder, name.c_str(), &still, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameFile(held, still)) {
      ::unlinkat(folder, name.c_str(), 0);
    }
  }
}

bool IsLeftToTheSystem(const char* name) {
  return std::strncmp(name, "system.", 7) != 0 && std::strncmp(name, "user.", 5) != 0;
}

// Reads an attribute list or value whose size may change between the asking and the reading.
template <class Call>
ssize_t ReadGrowing(std::vector<char>* buffer, Call call) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const ssize_t needed = call(nullptr, 0);
    if (needed <= 0) {
      return needed;
    }
    buffer->resize(static_cast<std::size_t>(needed));
    const ssize_t got = call(buffer->data(), buffer->size());
    if (got >= 0 || errno != ERANGE) {
      return got;
    }
  }
  errno = ERANGE;
  return -1;
}

// Gives the temporary the replaced file's extended attributes, its access ACL among them: on a
// file with an ACL the group mode bits are only the ACL's mask, so dropping the ACL would widen
// or narrow access behind the owner's back. Attributes of the security and trusted namespaces
// that the system refuses to set (EPERM, ENOTSUP) are left to it; any other failure is an error.
int CopyExtendedAttributes(int from, int to) {
  std::vector<char> names;
  const ssize_t listed = ReadGrowing(
      &names, [from](char* list, std::size_t size) { return ::flistxattr(from, list, size); });
  if (listed < 0) {
    return errno == ENOTSUP ? 0 : errno;
  }
  bool hasAccessAcl = false;
  std::vector<char> value;
  for (std::size_t at = 0; at < static_cast<std::size_t>(listed);) {
    const char* name = names.data() + at;
    at += std::strlen(name) + 1;
    const ssize_t size = ReadGrowing(
        &value, [from, name](char* v, std::size_t n) { return ::fgetxattr(from, name, v, n); });
    if (size < 0) {
      if (errno == ENODATA) {  // removed meanwhile
        continue;
      }
      return errno;
    }
    if (std::strcmp(name, "system.posix_acl_access") == 0) {
      hasAccessAcl = true;
    }
    if (::fsetxattr(to, name, value.data(), static_cast<std::size_t>(size), 0) != 0) {
      if ((errno == EPERM || errno == ENOTSUP || errno == EACCES) && IsLeftToTheSystem(name)) {
        continue;
      }
      return errno;
    }
  }
  // A default ACL of the folder gave the temporary an ACL that the replaced file did not have.
  if (!hasAccessAcl && ::fremovexattr(to, "system.posix_acl_access") != 0 && errno != ENODATA &&
      errno != ENOTSUP) {
    return errno;
  }
  return 0;
}

// Gives the temporary the replaced file's mode, then its extended attributes (an access ACL
// among them sets the group bits as its mask). Returns 0 or the error.
int TakeModeAndAttributes(int target, int temp, unsigned mode) {
  if (::fchmod(temp, mode) != 0) {
    return errno;
  }
  return CopyExtendedAttributes(target, temp);
}

// Truncates a temporary that is about to be removed; a failure changes nothing of what follows.
void EmptyQuietly(int fd) noexcept {
  if (::ftruncate(fd, 0) != 0) {
    return;
  }
}

// Flushes the folder's entries (the rename) to disk. File systems that cannot sync a folder
// say EINVAL; there is nothing more to do on them.
int SyncFolder(int folder) {
  if (RetryOnInterrupt([folder] { return ::fsync(folder); }) != 0 && errno != EINVAL) {
    return errno;
  }
  return 0;
}

}  // namespace

AtomicWriter::AtomicWriter(const std::string& targetName, OutputContents contents,
                           bool allowInPlace)
    : m_targetName(targetName),
      m_target(-1),
      m_temp(-1),
      m_contents(contents),
      m_createdTarget(false),
      m_committed(false),
      m_allowInPlace(allowInPlace) {
  // Whatever fails from here on, a lack of memory included, releases what is held so far: the
  // destructor of an object whose constructor threw never runs.
  try {
    Open(contents);
  } catch (...) {
    Abandon();
    throw;
  }
}

void AtomicWriter::Open(OutputContents contents) {
  const std::string& targetName = m_targetName;
  FoundTarget found;
  FindTarget(targetName, &found);
  m_folder = found.folder.release();
  m_target = found.file.release();
  if (found.error != 0) {
    Fail(Cause::kCreate, found.error);
  }
  m_targetBase = found.base;
  m_targetPath = JoinPath(found.folderPath, found.base);
  const int folder = static_cast<int>(m_folder);
  const int target = static_cast<int>(m_target);
  if (target >= 0 && !posix::TryLockExclusive(target)) {
    Fail(Cause::kCreate, errno);
  }

  // Until its owner and mode are the target's, the temporary is the caller's alone. A new
  // protected file is created as any file is, under the umask; plain text only for its owner.
  const mode_t createMode = target < 0 && contents == OutputContents::kProtected ? 0666 : 0600;
  m_finalMode = createMode;
  const std::string prefix = TempPrefixFor(m_targetBase);
  int temp = OpenUnnamedTemp(folder, createMode);
  if (temp >= 0) {
    m_temp = temp;
    m_tempName = UnnamedPath(temp);
    // A killed writer of this kind leaves nothing: only a folder of a few entries is swept, for
    // what earlier writers that needed names left, so that no save reads a large folder.
    struct stat folderInfo {};
    if (::fstat(folder, &folderInfo) == 0 && folderInfo.st_size <= kSmallFolderBytes) {
      RemoveAbandonedTemps(folder, prefix, temp);
    }
  }
  // Between creating its temporary and locking it, a writer can lose it to another writer's
  // sweep of abandoned temporaries; it then simply makes another.
  for (int attempt = 0; attempt < kMaxTempAttempts && temp < 0; ++attempt) {
    // Named (and the name held by the writer, for Abandon) before the file exists.
    m_tempBase = prefix + RandomSuffix();
    const std::string& name = m_tempBase;
    temp = RetryOnInterrupt([&] {
      return ::openat(folder, name.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, createMode);
    });
    if (temp < 0) {
      if (errno == EEXIST) {
        continue;
      }
      if ((errno == EACCES || errno == EPERM) && target >= 0 && m_allowInPlace) {
        // The folder refuses new files but the target itself is writable: rewrite it in place.
        m_inPlace = true;
        return;
      }
      Fail(Cause::kCreate, errno);
    }
    struct stat held {};
    struct stat named {};
    if (!posix::TryLockExclusive(temp) || ::fstat(temp, &held) != 0 ||
        ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        !SameFile(held, named)) {
      ::close(temp);
      temp = -1;
      continue;
    }
    m_temp = temp;
    m_tempName = JoinPath(found.folderPath, m_tempBase);
    RemoveAbandonedTemps(folder, prefix, temp);
  }
  if (temp < 0) {
    Fail(Cause::kCreate, EEXIST);
  }

  if (target >= 0) {
    // The replacement gets the target's owner, permissions and attributes, as rewriting it in
    // place would have kept them. Changing the owner needs privileges we may lack; the file
    // then stays ours, as a newly created file would.
    struct stat info {};
    if (::fstat(target, &info) != 0) {
      Fail(Cause::kCreate, errno);
    }
    // Plain text is never handed to another user: a file of someone else's stays ours.
    const uid_t owner = contents == OutputContents::kPlainText && info.st_uid != ::geteuid()
                            ? static_cast<uid_t>(-1)
                            : info.st_uid;
    if (::fchown(temp, owner, info.st_gid) != 0) {
      if (::fchown(temp, static_cast<uid_t>(-1), info.st_gid) != 0) {
        // Not even the group: the file stays ours and our group's, as a new file would be.
      }
    }
    // Plain text stays 0600 while it is written; the target's mode and ACL come just before
    // the rename, so a failure or a kill part way never leaves it readable by anyone else.
    m_finalMode = info.st_mode & 07777;
    if (contents != OutputContents::kPlainText) {
      if (const int error = TakeModeAndAttributes(target, temp, m_finalMode)) {
        Fail(Cause::kCreate, error);
      }
    }
  }
  detail::RunWriterHook(WriterStep::kTempCreated);
}

AtomicWriter::~AtomicWriter() { Abandon(); }

void AtomicWriter::Write(const void* data, std::size_t n) {
  if (m_failure) {
    std::rethrow_exception(m_failure);
  }
  if (m_committed) {
    ThrowFileError(Cause::kWrite, m_targetName, EBADF);
  }
  int out = static_cast<int>(m_temp);
  if (m_inPlace) {
    out = static_cast<int>(m_target);
    // Truncated only when the first byte is ready: an operation that fails before it writes
    // anything (a refused header) leaves the file as it was.
    if (!m_truncated) {
      if (RetryOnInterrupt([out] { return ::ftruncate(out, 0); }) != 0) {
        Fail(Cause::kWrite, errno);
      }
      m_truncated = true;
    }
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (n > 0) {
    const std::size_t allowed = detail::WriteAllowance(n < kMaxTransfer ? n : kMaxTransfer);
    if (allowed == 0) {
      Fail(Cause::kWrite, ENOSPC);
    }
    const ssize_t written = RetryOnInterrupt([&] { return ::write(out, bytes, allowed); });
    if (written < 0) {
      Fail(Cause::kWrite, errno);
    }
    if (written == 0) {  // no progress and no error: treat as the device refusing more
      Fail(Cause::kWrite, ENOSPC);
    }
    detail::CountWritten(static_cast<std::size_t>(written));
    bytes += written;
    n -= static_cast<std::size_t>(written);
    m_written += static_cast<std::uint64_t>(written);
  }
#ifdef SYNC_FILE_RANGE_WRITE
  if (m_written - m_writeBackStarted >= kWriteBackStep) {
    // Only a head start: whether it fails or not, the fsync at Commit is what makes the
    // output durable, so its result is of no interest here.
    (void)::sync_file_range(out, static_cast<off_t>(m_writeBackStarted),
                            static_cast<off_t>(m_written - m_writeBackStarted),
                            SYNC_FILE_RANGE_WRITE);
    m_writeBackStarted = m_written;
  }
#endif
}

void AtomicWriter::Commit() {
  if (m_failure) {
    std::rethrow_exception(m_failure);
  }
  if (m_committed) {
    return;
  }
  const int folder = static_cast<int>(m_folder);
  if (m_inPlace) {
    const int target = static_cast<int>(m_target);
    if (!m_truncated && RetryOnInterrupt([target] { return ::ftruncate(target, 0); }) != 0) {
      Fail(Cause::kWrite, errno);
    }
    m_truncated = true;
    if (RetryOnInterrupt([target] { return ::fsync(target); }) != 0) {
      Fail(Cause::kClose, errno);
    }
    m_committed = true;
    m_target = -1;
    if (::close(target) != 0) {
      Fail(Cause::kClose, errno);
    }
    return;
  }
  const int temp = static_cast<int>(m_temp);
  if (m_contents == OutputContents::kPlainText && m_target >= 0) {
    if (const int error = TakeModeAndAttributes(static_cast<int>(m_target), temp, m_finalMode)) {
      Fail(Cause::kClose, error);
    }
  }
  // Data first on disk, then the rename: a crash in between leaves the old target, never a
  // renamed but empty or partial file.
  if (RetryOnInterrupt([temp] { return ::fsync(temp); }) != 0) {
    Fail(Cause::kClose, errno);
  }
  // An unnamed temporary gets its name only now, for the rename: until here a killed writer
  // left nothing in the folder.
  // The name is held before the link exists, so that nothing between the link and the
  // rename (a lack of memory included) can leave it behind: Abandon removes it.
  for (int attempt = 0, named = !m_tempBase.empty(); !named; ++attempt) {
    const std::string unnamedPath = UnnamedPath(temp);
    m_tempBase = TempPrefixFor(m_targetBase) + RandomSuffix();
    if (::linkat(AT_FDCWD, unnamedPath.c_str(), folder, m_tempBase.c_str(), AT_SYMLINK_FOLLOW) ==
        0) {
      named = true;
    } else {
      const int error = errno;
      m_tempBase.clear();
      if (error != EEXIST || attempt + 1 == kMaxTempAttempts) {
        Fail(Cause::kReplace, error);
      }
    }
  }
  m_temp = -1;
  // The lock on the temporary must outlast the close until the rename, or another writer's
  // sweep could take the finished file for an abandoned one; a duplicate descriptor keeps it.
  const int lockKeeper = ::fcntl(temp, F_DUPFD_CLOEXEC, 0);
  if (::close(temp) != 0) {
    const int error = errno;
    ::unlinkat(folder, m_tempBase.c_str(), 0);
    if (lockKeeper >= 0) {
      ::close(lockKeeper);
    }
    Fail(Cause::kClose, error);
  }
  detail::RunWriterHook(WriterStep::kBeforeRename);
  // Relative to the folder that was examined: whatever became of the path to it meanwhile,
  // the file lands where the decisions were made.
  // New plain text never replaces anything that appeared at its name after the examination.
  const bool mustBeNew = m_target < 0 && m_contents == OutputContents::kPlainText;
  const int renamed = mustBeNew
                          ? RenameNoReplace(folder, m_tempBase.c_str(), m_targetBase.c_str())
                          : ::renameat(folder, m_tempBase.c_str(), folder, m_targetBase.c_str());
  const int renameError = errno;
  if (renamed != 0) {
    if (lockKeeper >= 0) {
      EmptyQuietly(lockKeeper);  // as in Abandon: no plain text under a name left over
    }
    ::unlinkat(folder, m_tempBase.c_str(), 0);
  }
  if (lockKeeper >= 0) {
    ::close(lockKeeper);
  }
  if (renamed != 0) {
    Fail(Cause::kReplace, renameError);
  }
  m_committed = true;
  // Then the rename itself on disk, before the save is reported done.
  const int syncError = SyncFolder(folder);
  // Closing the old target's descriptor releases its lock; the new file is already in place.
  if (m_target >= 0) {
    ::close(static_cast<int>(m_target));
    m_target = -1;
  }
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
    // Emptied first: where the name cannot be removed (an append-only folder), no plain text
    // stays under it.
    EmptyQuietly(static_cast<int>(m_temp));
    if (!m_tempBase.empty()) {
      ::unlinkat(static_cast<int>(m_folder), m_tempBase.c_str(), 0);
    }
    ::close(static_cast<int>(m_temp));
    m_temp = -1;
  }
  if (m_target >= 0) {
    ::close(static_cast<int>(m_target));
    m_target = -1;
  }
  if (m_folder >= 0) {
    ::close(static_cast<int>(m_folder));
    m_folder = -1;
  }
}

}  // namespace vantry::platform
