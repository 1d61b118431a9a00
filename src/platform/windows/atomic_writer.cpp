#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/file.h"
#include "platform/windows/win32.h"
#include "platform/write_fault.h"

namespace vantry::platform {
namespace {

using windows::IsOpen;
using windows::kMaxTransfer;
using windows::ThrowFileError;
using windows::ToHandle;
using windows::ToNative;
using Cause = FileError::Cause;

constexpr NativeHandle kNoHandle = windows::kNoNativeHandle;

// The temporary name adds 15 characters to the target's; a long target name is shortened in
// it, as on POSIX, to stay within the 255 characters a name may have.
constexpr std::size_t kMaxBaseInTempName = 200;
constexpr char kTempMarker[] = ".vantry-";
constexpr int kTempRandomCharacters = 6;
constexpr int kTempAttempts = 100;

// Attributes of the target that its replacement keeps, as rewriting it in place would have.
constexpr DWORD kCarriedAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Identifies a file whatever its name: the volume and the file's index on it.
struct FileIdentity {
  DWORD volume = 0;
  DWORD indexHigh = 0;
  DWORD indexLow = 0;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
  }
};

bool IdentityOf(HANDLE handle, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) {
    return false;
  }
  *identity = FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

// Deletes the file when its last handle closes. Unlike DeleteFileA after CloseHandle, it
// cannot hit a file that someone else put under the name in between. Needs DELETE access.
bool MarkForDeletion(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition) != FALSE;
}

// Opens the target for writing without truncating it; share mode 0 keeps every other opener
// out until the replace. OPEN_ALWAYS reports ERROR_ALREADY_EXISTS when the file was there,
// which decides whether an abandoned write removes it again. DELETE access lets that removal
// go through this very handle; replacing the file needs the same right anyway.
HANDLE OpenTarget(const std::string& name, bool* created) {
  const HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = GetLastError();
  if (handle == INVALID_HANDLE_VALUE) {
    ThrowFileError(Cause::kCreate, name, error);
  }
  *created = error != ERROR_ALREADY_EXISTS;
  return handle;
}

// A symbolic link is replaced where it points, as writing through it would, instead of being
// turned into a plain file. Any other name is used as given.
bool ResolveTarget(const std::string& name, HANDLE target, std::string* path) {
  const DWORD attributes = GetFileAttributesA(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    *path = name;
    return true;
  }
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleA(
        target, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
    if (length == 0) {
      return false;
    }
    if (length < buffer.size()) {
      path->assign(buffer.data(), length);
      return true;
    }
    buffer.resize(length + 1);
  }
}

std::string TempPrefixFor(const std::string& path) {
  // "C:name" names a file in the current folder of drive C:, so the colon separates too.
  const auto separator = path.find_last_of("\\/:");
  const std::string directory = separator == std::string::npos ? "" : path.substr(0, separator + 1);
  std::string base = separator == std::string::npos ? path : path.substr(separator + 1);
  if (base.size() > kMaxBaseInTempName) {
    base.resize(kMaxBaseInTempName);
  }
  // The leading dot marks the unfinished file, as on POSIX, for people reading the folder.
  return directory + "." + base + kTempMarker;
}

// Letters for the temporary name: unpredictable enough that two writers, in this process or
// another, rarely meet; CREATE_NEW settles the rare meeting.
std::string RandomCharacters() {
  static std::atomic<std::uint64_t> s_counter{0};
  LARGE_INTEGER ticks{};
  QueryPerformanceCounter(&ticks);
  std::uint64_t x = static_cast<std::uint64_t>(ticks.QuadPart) ^
                    (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) ^
                    (++s_counter * 0x9E3779B97F4A7C15ull);
  // splitmix64 finaliser: spreads close inputs (consecutive ticks) over all bits.
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string text;
  for (int i = 0; i < kTempRandomCharacters; ++i) {
    text += kAlphabet[x % (sizeof kAlphabet - 1)];
    x /= sizeof kAlphabet - 1;
  }
  return text;
}

// Creates a new temporary file; INVALID_HANDLE_VALUE with GetLastError() set on failure.
HANDLE CreateTemp(const std::string& prefix, DWORD attributes, std::string* name) {
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    const std::string candidate = prefix + RandomCharacters();
    const HANDLE handle = CreateFileA(candidate.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                      CREATE_NEW, attributes, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      *name = candidate;
      return handle;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return INVALID_HANDLE_VALUE;
    }
  }
  SetLastError(ERROR_FILE_EXISTS);
  return INVALID_HANDLE_VALUE;
}

// After a failed replace: removes the empty file this writer created, but only if the name
// still denotes it; between closing it and the replace, anyone could have put a file there.
void RemoveCreatedTarget(const std::string& path, const FileIdentity& created) {
  const HANDLE handle = CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return;
  }
  FileIdentity now;
  LARGE_INTEGER size{};
  if (IdentityOf(handle, &now) && now == created && GetFileSizeEx(handle, &size) &&
      size.QuadPart == 0) {
    MarkForDeletion(handle);
  }
  CloseHandle(handle);
}

}  // namespace

AtomicWriter::AtomicWriter(const std::string& targetName, OutputContents contents)
    : m_targetName(targetName),
      m_target(kNoHandle),
      m_temp(kNoHandle),
      m_contents(contents),
      m_createdTarget(false),
      m_committed(false) {
  const HANDLE target = OpenTarget(targetName, &m_createdTarget);
  m_target = ToNative(target);
  m_targetPath = targetName;

  // Replacing a device (NUL, CON, a pipe) by renaming a file over it makes no sense. Whatever
  // OPEN_ALWAYS said, no file was created there, so there is nothing to remove either.
  if (!windows::IsDiskFile(target)) {
    m_createdTarget = false;
    Fail(Cause::kCreate, windows::kNotADiskFileError);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(target, &info)) {
    Fail(Cause::kCreate, GetLastError());
  }
  if (!ResolveTarget(targetName, target, &m_targetPath)) {
    Fail(Cause::kCreate, GetLastError());
  }
  DWORD attributes = info.dwFileAttributes & kCarriedAttributes;
  if (attributes == 0) {
    attributes = FILE_ATTRIBUTE_NORMAL;
  }
  const HANDLE temp = CreateTemp(TempPrefixFor(m_targetPath), attributes, &m_tempName);
  if (temp == INVALID_HANDLE_VALUE) {
    Fail(Cause::kCreate, GetLastError());
  }
  m_temp = ToNative(temp);
}

AtomicWriter::~AtomicWriter() { Abandon(); }

void AtomicWriter::Write(const void* data, std::size_t n) {
  if (m_failure) {
    std::rethrow_exception(m_failure);
  }
  if (m_committed) {
    ThrowFileError(Cause::kWrite, m_targetName, ERROR_INVALID_HANDLE);
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  const HANDLE temp = ToHandle(m_temp);
  while (n > 0) {
    const std::size_t allowed = detail::WriteAllowance(n < kMaxTransfer ? n : kMaxTransfer);
    if (allowed == 0) {
      Fail(Cause::kWrite, ERROR_DISK_FULL);
    }
    DWORD written = 0;
    if (!WriteFile(temp, bytes, static_cast<DWORD>(allowed), &written, nullptr)) {
      Fail(Cause::kWrite, GetLastError());
    }
    // A short write is no error of its own: the rest is offered again, and a device that
    // takes nothing more says why on the next call. Nothing at all taken without an error
    // leaves no reason to expect more.
    if (written == 0) {
      Fail(Cause::kWrite, ERROR_DISK_FULL);
    }
    detail::CountWritten(written);
    bytes += written;
    n -= written;
  }
}

void AtomicWriter::Commit() {
  if (m_failure) {
    std::rethrow_exception(m_failure);
  }
  if (m_committed) {
    return;
  }
  const HANDLE temp = ToHandle(m_temp);
  // Data first on disk, then the rename: a crash in between leaves the old target, never a
  // renamed but empty or partial file.
  if (!FlushFileBuffers(temp)) {
    Fail(Cause::kClose, GetLastError());
  }
  m_temp = kNoHandle;
  if (!CloseHandle(temp)) {
    const DWORD error = GetLastError();
    DeleteFileA(m_tempName.c_str());
    Fail(Cause::kClose, error);
  }
  // The target has to be closed before the rename: a handle without sharing, ours included,
  // makes MoveFileExA fail with ERROR_SHARING_VIOLATION.
  const HANDLE target = ToHandle(m_target);
  FileIdentity created;
  const bool knowCreated = m_createdTarget && IdentityOf(target, &created);
  m_target = kNoHandle;
  CloseHandle(target);
  // WRITE_THROUGH returns only when the rename is on disk, as the directory sync does on POSIX.
  if (!MoveFileExA(m_tempName.c_str(), m_targetPath.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileA(m_tempName.c_str());
    if (knowCreated) {
      RemoveCreatedTarget(m_targetPath, created);
    }
    Fail(Cause::kReplace, error);
  }
  m_committed = true;
}

void AtomicWriter::Fail(FileError::Cause cause, int error) {
  Abandon();
  m_failure = std::make_exception_ptr(
      FileError(cause, m_targetName, windows::SystemCode(static_cast<DWORD>(error))));
  std::rethrow_exception(m_failure);
}

void AtomicWriter::Abandon() noexcept {
  if (IsOpen(m_temp)) {
    const HANDLE temp = ToHandle(m_temp);
    const bool marked = MarkForDeletion(temp);
    CloseHandle(temp);
    if (!marked) {
      DeleteFileA(m_tempName.c_str());
    }
    m_temp = kNoHandle;
  }
  if (IsOpen(m_target)) {
    const HANDLE target = ToHandle(m_target);
    // Without sharing, no one else could open the file this writer created, let alone write
    // it or put another under its name: it is still the empty file of the constructor.
    if (m_createdTarget && !m_committed) {
      MarkForDeletion(target);
    }
    CloseHandle(target);
    m_target = kNoHandle;
  }
}

}  // namespace vantry::platform
