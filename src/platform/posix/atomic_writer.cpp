#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/file.h"
#include "platform/posix/descriptor.h"
#include "platform/posix/target_lookup.h"
#include "platform/posix/temporary_file.h"

namespace vantry::platform {
namespace {

using posix::RetryOnInterrupt;
using posix::ThrowFileError;
using Cause = FileError::Cause;

constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;
// Write-back of the output is started every time this much more of it has been written, so
// that the disk works while the rest is produced and the fsync at Commit finds little left.
constexpr std::uint64_t kWriteBackStep = std::uint64_t{8} << 20;
// A folder whose entries take no more than this is swept for abandoned temporaries by every
// writer; a larger one only by writers that had to name their temporary from the start.
constexpr off_t kSmallFolderBytes = 32 * 1024;

}  // namespace

AtomicWriter::AtomicWriter(const std::string& targetName, OutputContents contents,
                           bool allowInPlace)
    : AtomicWriter(targetName, WriterOptions{contents, allowInPlace, false, nullptr}) {}

AtomicWriter::AtomicWriter(const std::string& targetName, const WriterOptions& options)
    : m_targetName(targetName),
      m_fileSystem(options.fileSystem != nullptr ? options.fileSystem : &FileSystem::Default()),
      m_target(-1),
      m_temp(-1),
      m_contents(options.contents),
      m_createdTarget(false),
      m_committed(false),
      m_allowInPlace(options.allowInPlace && !options.keepExisting),
      m_keepExisting(options.keepExisting) {
  // Whatever fails from here on, a lack of memory included, releases what is held so far: the
  // destructor of an object whose constructor threw never runs.
  try {
    Open();
  } catch (...) {
    Abandon();
    throw;
  }
}

void AtomicWriter::Open() {
  posix::FoundTarget found;
  posix::FindTarget(m_targetName, *m_fileSystem, &found);
  m_folder = found.folder.release();
  m_target = found.file.release();
  if (found.error != 0) {
    Fail(Cause::kCreate, found.error);
  }
  if (m_target >= 0 && m_keepExisting) {
    Fail(Cause::kCreate, EEXIST);
  }
  m_targetBase = found.base;
  m_targetPath = posix::JoinPath(found.folderPath, found.base);
  if (m_target >= 0 && !posix::TryLockExclusive(static_cast<int>(m_target))) {
    Fail(Cause::kCreate, errno);
  }
  // Until its owner and mode are the target's, the temporary is the caller's alone. A new
  // protected file is created as any file is, under the umask; plain text only for its owner.
  m_finalMode = m_target < 0 && m_contents == OutputContents::kProtected ? 0666 : 0600;
  if (!CreateTemp(found.folderPath)) {
    return;  // rewritten in place
  }
  if (m_target >= 0) {
    TakeOverTarget();
  }
  m_fileSystem->Reached(WriterStep::kTempCreated);
}

bool AtomicWriter::CreateTemp(const std::string& folderPath) {
  const int folder = static_cast<int>(m_folder);
  const std::string prefix = posix::TempPrefixFor(m_targetBase);
  int temp = posix::OpenUnnamedTemp(folder, m_finalMode);
  if (temp >= 0) {
    m_temp = temp;
    m_tempName = posix::UnnamedPath(temp);
    // A killed writer of this kind leaves nothing: only a folder of a few entries is swept, for
    // what earlier writers that needed names left, so that no save reads a large folder.
    struct stat folderInfo {};
    if (::fstat(folder, &folderInfo) == 0 && folderInfo.st_size <= kSmallFolderBytes) {
      posix::RemoveAbandonedTemps(folder, prefix, temp);
    }
    return true;
  }
  temp = posix::CreateNamedTemp(folder, prefix, m_finalMode, &m_tempBase);
  if (temp < 0) {
    if ((errno == EACCES || errno == EPERM) && m_target >= 0 && m_allowInPlace) {
      // The folder refuses new files but the target itself is writable: rewrite it in place.
      m_inPlace = true;
      return false;
    }
    Fail(Cause::kCreate, errno);
  }
  m_temp = temp;
  m_tempName = posix::JoinPath(folderPath, m_tempBase);
  posix::RemoveAbandonedTemps(folder, prefix, temp);
  return true;
}

// The replacement gets the target's owner, permissions and attributes, as rewriting it in
// place would have kept them. Changing the owner needs privileges we may lack; the file then
// stays ours, as a newly created file would.
void AtomicWriter::TakeOverTarget() {
  const int target = static_cast<int>(m_target);
  const int temp = static_cast<int>(m_temp);
  struct stat info {};
  if (::fstat(target, &info) != 0) {
    Fail(Cause::kCreate, errno);
  }
  // Plain text is never handed to another user: a file of someone else's stays ours.
  const uid_t owner = m_contents == OutputContents::kPlainText && info.st_uid != ::geteuid()
                          ? static_cast<uid_t>(-1)
                          : info.st_uid;
  if (::fchown(temp, owner, info.st_gid) != 0) {
    if (::fchown(temp, static_cast<uid_t>(-1), info.st_gid) != 0) {
      // Not even the group: the file stays ours and our group's, as a new file would be.
    }
  }
  // Plain text stays 0600 while it is written; the target's mode and ACL come just before the
  // rename, so a failure or a kill part way never leaves it readable by anyone else.
  m_finalMode = info.st_mode & 07777;
  if (m_contents != OutputContents::kPlainText) {
    if (const int error = posix::TakeModeAndAttributes(target, temp, m_finalMode)) {
      Fail(Cause::kCreate, error);
    }
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
  const int out = static_cast<int>(m_inPlace ? m_target : m_temp);
  // Truncated only when the first byte is ready: an operation that fails before it writes
  // anything (a refused header) leaves the file as it was.
  if (m_inPlace && !m_truncated) {
    if (RetryOnInterrupt([out] { return ::ftruncate(out, 0); }) != 0) {
      Fail(Cause::kWrite, errno);
    }
    m_truncated = true;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (n > 0) {
    std::size_t written = 0;
    if (const int error =
            m_fileSystem->Write(out, bytes, n < kMaxTransfer ? n : kMaxTransfer, &written)) {
      Fail(Cause::kWrite, error);
    }
    if (written == 0) {  // no progress and no error: treat as the device refusing more
      Fail(Cause::kWrite, ENOSPC);
    }
    bytes += written;
    n -= written;
    m_written += written;
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
  if (m_inPlace) {
    CommitInPlace();
    return;
  }
  const int temp = static_cast<int>(m_temp);
  if (m_contents == OutputContents::kPlainText && m_target >= 0) {
    if (const int error =
            posix::TakeModeAndAttributes(static_cast<int>(m_target), temp, m_finalMode)) {
      Fail(Cause::kClose, error);
    }
  }
  // Data first on disk, then the rename: a crash in between leaves the old target, never a
  // renamed but empty or partial file.
  if (const int error = m_fileSystem->SyncFile(temp)) {
    Fail(Cause::kClose, error);
  }
  NameTemp();
  if (const int error = RenameTemp()) {
    Fail(Cause::kReplace, error);
  }
  m_committed = true;
  // Then the rename itself on disk, before the save is reported done.
  const int syncError = m_fileSystem->SyncFolder(m_folder);
  // Closing the old target's descriptor releases its lock; the new file is already in place.
  if (m_target >= 0) {
    ::close(static_cast<int>(m_target));
    m_target = -1;
  }
  if (syncError != 0) {
    // The new content is in place but may not survive a crash; say so rather than succeed.
    Fail(Cause::kSyncFolder, syncError);
  }
}

void AtomicWriter::CommitInPlace() {
  const int target = static_cast<int>(m_target);
  if (!m_truncated && RetryOnInterrupt([target] { return ::ftruncate(target, 0); }) != 0) {
    Fail(Cause::kWrite, errno);
  }
  m_truncated = true;
  if (const int error = m_fileSystem->SyncFile(target)) {
    Fail(Cause::kClose, error);
  }
  m_committed = true;
  m_target = -1;
  if (::close(target) != 0) {
    Fail(Cause::kClose, errno);
  }
}

// An unnamed temporary gets its name only now, for the rename: until here a killed writer left
// nothing in the folder. The name is held before the link exists, so that nothing between the
// link and the rename (a lack of memory included) can leave it behind: Abandon removes it.
void AtomicWriter::NameTemp() {
  const int temp = static_cast<int>(m_temp);
  for (int attempt = 0; m_tempBase.empty(); ++attempt) {
    const std::string unnamedPath = posix::UnnamedPath(temp);
    m_tempBase = posix::TempPrefixFor(m_targetBase) + posix::RandomSuffix();
    if (::linkat(AT_FDCWD, unnamedPath.c_str(), static_cast<int>(m_folder), m_tempBase.c_str(),
                 AT_SYMLINK_FOLLOW) != 0) {
      const int error = errno;
      m_tempBase.clear();
      if (error != EEXIST || attempt + 1 == posix::kMaxTempAttempts) {
        Fail(Cause::kReplace, error);
      }
    }
  }
}

// Closes the finished temporary and renames it over the target; on failure removes it and
// returns the rename's error.
int AtomicWriter::RenameTemp() {
  const int folder = static_cast<int>(m_folder);
  const int temp = static_cast<int>(m_temp);
  m_temp = -1;
  // The lock on the temporary must outlast the close until the rename, or another writer's
  // sweep could take the finished file for an abandoned one; a duplicate descriptor keeps it.
  const posix::Descriptor lockKeeper(::fcntl(temp, F_DUPFD_CLOEXEC, 0));
  if (::close(temp) != 0) {
    const int error = errno;
    ::unlinkat(folder, m_tempBase.c_str(), 0);
    Fail(Cause::kClose, error);
  }
  m_fileSystem->Reached(WriterStep::kBeforeRename);
  // Relative to the folder that was examined: whatever became of the path to it meanwhile, the
  // file lands where the decisions were made. New plain text, and a file that keeps an
  // existing one, never replace anything that appeared at the name after the examination.
  const bool mustBeNew =
      m_keepExisting || (m_target < 0 && m_contents == OutputContents::kPlainText);
  const int error = m_fileSystem->Rename(m_folder, m_tempBase, m_targetBase,
                                         mustBeNew ? RenameMode::kNoReplace : RenameMode::kReplace);
  if (error != 0) {
    if (lockKeeper.get() >= 0) {
      posix::EmptyQuietly(lockKeeper.get());  // as in Abandon: no plain text under a name left
    }
    ::unlinkat(folder, m_tempBase.c_str(), 0);
  }
  return error;
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
    posix::EmptyQuietly(static_cast<int>(m_temp));
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
