// The one place that talks to the operating system about files.
//
// ExclusiveReader opens an existing file for reading with no sharing: on Windows a share mode
// of 0, on POSIX an exclusive non-blocking flock(2), so a second exclusive opener fails while
// the first holds the file. AtomicWriter never writes its target in place: it writes a
// temporary file beside the target and renames it over the target only after the last byte
// was written, flushed to disk and closed, so a failure at any point leaves an existing target
// exactly as it was. Every failure is a FileError naming the file as the caller passed it.
#ifndef VANTRY_PLATFORM_FILE_H_
#define VANTRY_PLATFORM_FILE_H_

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "vantry/file_error.h"

namespace vantry::platform {

// Native handle: a file descriptor on POSIX, a HANDLE on Windows.
using NativeHandle = std::intptr_t;

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
  // Reads exactly n bytes. Throws FileError(kRead) on failure or when the file ends first.
  void ReadExactly(void* buffer, std::size_t n);
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

class AtomicWriter {
 public:
  // Opens the target exclusively (without truncating it: it is only replaced on Commit) and
  // creates the temporary file beside it. Throws FileError(kCreate) naming the target when the
  // target cannot be opened for writing (missing directory, no permission, a directory, held
  // by another exclusive opener) or the temporary file cannot be created.
  explicit AtomicWriter(const std::string& targetName,
                        OutputContents contents = OutputContents::kProtected);
  // Without a successful Commit: removes the temporary file, and the target too if this writer
  // created it, and leaves an existing target untouched.
  ~AtomicWriter();
  AtomicWriter(const AtomicWriter&) = delete;
  AtomicWriter& operator=(const AtomicWriter&) = delete;

  // Writes all n bytes. Throws FileError(kWrite) naming the target on failure or a short write.
  // After any failure the writer has already removed its temporary file and throws the same
  // error again from Write and Commit, so a partial output can never be put in place.
  void Write(const void* data, std::size_t n);
  // Flushes the temporary file to disk, closes it, renames it over the target and flushes the
  // directory. Throws FileError(kClose) or FileError(kReplace) naming the target.
  void Commit();

  // Name of the temporary file (for tests).
  const std::string& TempName() const { return m_tempName; }

 private:
  void Abandon() noexcept;
  // Records the failure, abandons the output and throws.
  [[noreturn]] void Fail(FileError::Cause cause, int error);

  std::string m_targetName;
  std::string m_targetPath;  // where the rename goes: the target after following a symlink
  std::string m_tempName;
  NativeHandle m_target;  // held open, exclusively, until the replace is done
  NativeHandle m_temp;
  OutputContents m_contents;
  bool m_createdTarget;
  bool m_committed;
  std::exception_ptr m_failure;
};

// True when both names denote the same existing file (after links, case, relative paths).
bool SameExistingFile(const std::string& a, const std::string& b) noexcept;

// The operating system's text for an error code of the system category (strerror on POSIX,
// FormatMessage on Windows), without a trailing newline or period.
std::string SystemErrorText(int code);

// The error code of the last failed system call of this thread (errno, GetLastError()).
int LastSystemError() noexcept;

// Test seam: when set, AtomicWriter::Write fails once the total written through writers
// reaches failAfterBytes, as a full disk would (ENOSPC / ERROR_DISK_FULL). Pass a negative
// value to switch it off. Not thread-safe; for tests only.
void SetWriteFaultForTesting(std::int64_t failAfterBytes);

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_FILE_H_
