// The one place that talks to the operating system about files.
//
// ExclusiveReader opens an existing file for reading with no sharing: on Windows a share mode
// of 0, on POSIX an exclusive non-blocking flock(2), so a second exclusive opener fails while
// the first holds the file. Every read of a file goes through the one descriptor that holds
// the lock, to the end of the file. AtomicWriter never writes its target in place: it writes a
// temporary file beside the target and renames it over the target only after the last byte
// was written, flushed to disk and closed, so a failure at any point leaves an existing target
// exactly as it was (the one exception, a folder that refuses the temporary, is described at
// AtomicWriter). Every failure is a FileError naming the file as the caller passed it.
#ifndef VANTRY_PLATFORM_FILE_H_
#define VANTRY_PLATFORM_FILE_H_

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "platform/file_system.h"
#include "vantry/file_error.h"

namespace vantry::platform {

class ExclusiveReader {
 public:
  // Throws FileError(kOpen) when the file does not exist, cannot be opened or is held by
  // another exclusive opener.
  explicit ExclusiveReader(const std::string& fileName);
  ~ExclusiveReader();  // closes quietly if Close was not called
  ExclusiveReader(const ExclusiveReader&) = delete;
  ExclusiveReader& operator=(const ExclusiveReader&) = delete;

  // Size in bytes. Throws FileError(kSize) when it cannot be read.
  std::uint64_t Size();
  // Reads up to n bytes; returns how many were read, 0 at the end. Throws FileError(kRead).
  std::size_t ReadSome(void* buffer, std::size_t n);
  // Throws FileError(kClose) when the close fails.
  void Close();

 private:
  std::string m_fileName;
  NativeHandle m_handle;
  bool m_open;
};

// What an output holds. Plain text is created readable by its owner alone; a protected file,
// which is cipher text, follows the process's umask like any other file it creates.
enum class OutputContents { kProtected, kPlainText };

// How a target is found and replaced. On POSIX every decision is made on something already
// opened, never on a name that was checked and is then looked up again: the writer opens the
// target's folder, examines and opens the last component relative to it without following a
// link (openat with O_NOFOLLOW), judges the file by fstat of that descriptor, creates the
// temporary in the same folder and renames relative to it (renameat).
//
// - A symlink at the target name is followed, and the file it points to is replaced where it
//   stands, when the caller or the folder's owner owns the link. In a sticky folder that
//   anyone may write (/tmp), a link owned by anyone else is refused with FileError(kCreate,
//   EACCES): the rule of the kernel's fs.protected_symlinks, applied whatever that setting is.
// - Likewise a regular target owned by another user (neither the caller nor the folder's
//   owner) in such a folder is refused (the rule of fs.protected_regular), and so is one with
//   more than one name there, which may be a hard link to a file elsewhere. Elsewhere a replaced
//   file keeps its owner (where the caller may set it), mode, and extended attributes, POSIX
//   ACLs included.
// - Only regular files are replaced: a directory fails with EISDIR, a device, FIFO or socket
//   with EINVAL, without being opened.
// - A new target appears only whole: nothing is created under the target name before Commit,
//   whose rename creates it. A new plain-text output is created 0600; a new protected file
//   follows the umask (and the folder's default ACL). An existing target is locked for the
//   writer's life, so readers and other writers of it fail meanwhile. Two writers of a target
//   that does not exist yet do not exclude each other: each renames a complete file into
//   place and the last one stays, as two saves one after the other would leave it.
// - When the folder refuses the temporary (EACCES or EPERM: a folder the caller cannot write)
//   but the existing target is writable, the target is rewritten in place instead: truncated
//   at the first Write (or at Commit), written and flushed. A failure part way then leaves a
//   truncated or partial file: this is the one case without the no-loss guarantee.
// - Temporaries are named ".<target name>.vantry-" and 16 lowercase hexadecimal digits. Each
//   writer removes temporaries of its target left by killed writers: only names of exactly
//   that pattern that are regular files owned by the caller, with one link, which no live
//   writer holds (each writer holds an exclusive lock on its temporary).
// - With keepExisting, a target that exists is refused with FileError(kCreate) and the "exists"
//   code (EEXIST, ERROR_FILE_EXISTS), and a file that appears at the name before the rename is
//   never replaced: Commit fails with FileError(kReplace) and that code. A file published so
//   is never changed by a later writer: of two racing writers, the first to rename wins.
struct WriterOptions {
  OutputContents contents = OutputContents::kProtected;
  // False: a folder that refuses the temporary fails the writer with FileError(kCreate) and
  // the system's code instead of the in-place rewrite above.
  bool allowInPlace = true;
  bool keepExisting = false;
  // The operations the writer makes and the steps it reports: the system's when null.
  FileSystem* fileSystem = nullptr;
};

class AtomicWriter {
 public:
  // Finds and locks the target and creates the temporary beside it. Throws FileError(kCreate)
  // naming the target when the folder cannot be opened, the target is refused (see above),
  // cannot be opened for writing or is held by another exclusive opener, or the temporary
  // cannot be created.
  // With allowInPlace false, a folder that refuses the temporary fails the writer with
  // FileError(kCreate) and the system's code instead of the in-place rewrite below.
  explicit AtomicWriter(const std::string& targetName,
                        OutputContents contents = OutputContents::kProtected,
                        bool allowInPlace = true);
  AtomicWriter(const std::string& targetName, const WriterOptions& options);
  // Without a successful Commit: removes the temporary file and leaves an existing target
  // untouched (in place: as far as it was written).
  ~AtomicWriter();
  AtomicWriter(const AtomicWriter&) = delete;
  AtomicWriter& operator=(const AtomicWriter&) = delete;

  // Writes all n bytes. Throws FileError(kWrite) naming the target on failure or a short write.
  // After any failure the writer has already removed its temporary file and throws the same
  // error again from Write and Commit, so a partial output can never be put in place.
  void Write(const void* data, std::size_t n);
  // Flushes the temporary file to disk, closes it, renames it over the target and flushes the
  // directory, in that order. Throws FileError(kClose) or FileError(kReplace) naming the target.
  void Commit();

  // Name of the temporary file (for tests); empty when the target is rewritten in place.
  const std::string& TempName() const { return m_tempName; }
  // True when the folder refused a temporary and the target is rewritten in place.
  bool InPlace() const { return m_inPlace; }

 private:
  void Abandon() noexcept;
  // The constructor's work, which Abandon undoes however it ends (POSIX).
  void Open();
  // POSIX steps of Open and Commit.
  bool CreateTemp(const std::string& folderPath);
  void TakeOverTarget();
  void CommitInPlace();
  void NameTemp();
  int RenameTemp();
  // Records the failure, abandons the output and throws.
  [[noreturn]] void Fail(FileError::Cause cause, int error);

  std::string m_targetName;
  FileSystem* m_fileSystem;
  std::string m_targetPath;  // where the rename goes: the target after following a symlink
  std::string m_tempName;
  NativeHandle m_target;  // held open, exclusively, until the replace is done
  NativeHandle m_temp;
  OutputContents m_contents;
  bool m_createdTarget;
  bool m_committed;
  std::exception_ptr m_failure;
  // POSIX: the folder every name below is relative to, and the names in it.
  NativeHandle m_folder = -1;
  std::string m_targetBase;
  std::string m_tempBase;
  bool m_inPlace = false;
  bool m_allowInPlace = true;
  bool m_keepExisting = false;
  bool m_truncated = false;
  unsigned m_finalMode = 0;  // POSIX: the mode the output gets at Commit
  // POSIX: bytes written so far, and how far write-back has been started on them.
  std::uint64_t m_written = 0;
  std::uint64_t m_writeBackStarted = 0;
};

// True when both names denote the same existing file (after links, case, relative paths).
bool SameExistingFile(const std::string& a, const std::string& b) noexcept;

// The operating system's text for an error code of the system category (strerror on POSIX,
// FormatMessage on Windows), without a trailing newline or period.
std::string SystemErrorText(int code);

// The error code of the last failed system call of this thread (errno, GetLastError()).
int LastSystemError() noexcept;

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_FILE_H_
