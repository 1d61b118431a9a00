// The file operations whose outcome and timing decide what a save leaves on disk: writing the
// temporary, flushing it and its folder, and renaming it into place. A writer makes them
// through a FileSystem, so that a test can wrap the system's (FileSystemWrapper) to make one of
// them fail as a full disk or a dying device would, to record their order, or to act between a
// writer's steps as a competing process would, all without touching any other writer.
#ifndef VANTRY_PLATFORM_FILE_SYSTEM_H_
#define VANTRY_PLATFORM_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantry::platform {

// Native handle: a file descriptor on POSIX, a HANDLE on Windows.
using NativeHandle = std::intptr_t;

// The points between a writer's steps at which a competing process may act.
enum class WriterStep {
  kTargetExamined,  // the target name was looked at (absent, or a regular file about to open)
  kTempCreated,     // the temporary exists and is locked; nothing was written yet
  kBeforeRename,    // the temporary is written, flushed and closed; the rename comes next
};

// How a finished temporary takes the target's name.
enum class RenameMode {
  kReplace,          // whatever is at the name goes
  kReplaceExisting,  // an existing target goes, keeping what belongs to the file (Windows ACL)
  kNoReplace,        // fails with the system's "exists" code when the name is taken
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Writes up to n (> 0) bytes and sets *written to how many went; 0 written without an error
  // is a device that takes nothing more. Returns 0 or the system's error code.
  virtual int Write(NativeHandle file, const void* data, std::size_t n, std::size_t* written) = 0;
  // Puts the file's data on disk. Returns 0 or the error.
  virtual int SyncFile(NativeHandle file) = 0;
  // Puts the folder's entries (a rename in it) on disk; 0 where the system has no such step.
  virtual int SyncFolder(NativeHandle folder) = 0;
  // Renames from to to. POSIX: both names relative to folder; Windows: full paths in UTF-8,
  // folder unused. Returns 0 or the error.
  virtual int Rename(NativeHandle folder, const std::string& from, const std::string& to,
                     RenameMode mode) = 0;
  // A writer reached step; the system's file system does nothing.
  virtual void Reached(WriterStep step) = 0;

  // The system's own, unless a test installed a replacement (SetWriteFaultForTesting).
  static FileSystem& Default();
};

// The system's file operations, whatever Default() is.
FileSystem& SystemFileSystem();

// The system's code for a full disk (ENOSPC, ERROR_DISK_FULL).
int DiskFullError() noexcept;

// Forwards every operation to another file system; a test overrides only what it changes.
class FileSystemWrapper : public FileSystem {
 public:
  explicit FileSystemWrapper(FileSystem& target = SystemFileSystem()) : m_target(target) {}
  int Write(NativeHandle file, const void* data, std::size_t n, std::size_t* written) override {
    return m_target.Write(file, data, n, written);
  }
  int SyncFile(NativeHandle file) override { return m_target.SyncFile(file); }
  int SyncFolder(NativeHandle folder) override { return m_target.SyncFolder(folder); }
  int Rename(NativeHandle folder, const std::string& from, const std::string& to,
             RenameMode mode) override {
    return m_target.Rename(folder, from, to, mode);
  }
  void Reached(WriterStep step) override { m_target.Reached(step); }

 private:
  FileSystem& m_target;
};

// A file system whose disk is full once failAfterBytes bytes were written through it: writes
// then fail as the system's would (ENOSPC / ERROR_DISK_FULL).
class DiskFullFileSystem : public FileSystemWrapper {
 public:
  explicit DiskFullFileSystem(std::uint64_t failAfterBytes) : m_left(failAfterBytes) {}
  int Write(NativeHandle file, const void* data, std::size_t n, std::size_t* written) override;

 private:
  std::uint64_t m_left;
};

// Makes Default() a DiskFullFileSystem of failAfterBytes, for tests of the layers above that
// cannot hand a writer a file system of their own; a negative value gives the system's back.
// Not thread-safe; for tests only.
void SetWriteFaultForTesting(std::int64_t failAfterBytes);

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_FILE_SYSTEM_H_
