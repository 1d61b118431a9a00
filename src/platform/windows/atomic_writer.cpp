#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/file.h"
#include "platform/windows/wide_name.h"
#include "platform/windows/win32.h"

// Names: every call takes the wide (UTF-16) form. The caller's name is converted once, in the
// encoding of the call; the paths the writer keeps for itself (m_targetPath, m_tempName) are
// UTF-8 of the wide forms, which converts back without loss whatever the call's encoding.

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
// it, as on POSIX, to stay within the 255 UTF-16 units a name may have.
constexpr std::size_t kMaxBaseInTempName = 200;
constexpr wchar_t kTempMarker[] = L".vantry-";
constexpr wchar_t kTempAlphabet[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kTempRandomCharacters = 6;
constexpr int kTempAttempts = 100;

// Attributes of the target that its replacement keeps, as rewriting it in place would have.
// ReplaceFile carries them over itself; the temporary is made with them all the same, for
// systems whose ReplaceFile does not (Wine).
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY |
                                     FILE_ATTRIBUTE_OFFLINE;

std::wstring Wide(const std::string& utf8) {
  std::wstring wide;
  DWORD ignored = NO_ERROR;
  windows::ToWideIn(NameEncoding::kUtf8, utf8, &wide, &ignored);
  return wide;
}

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
// A new file gets security (when not null); an existing one keeps its own.
HANDLE OpenTarget(const std::string& name, const std::wstring& wideName,
                  SECURITY_ATTRIBUTES* security, bool* created) {
  const HANDLE handle = CreateFileW(wideName.c_str(), GENERIC_WRITE | DELETE, 0, security,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = GetLastError();
  if (handle == INVALID_HANDLE_VALUE) {
    ThrowFileError(Cause::kCreate, name, error);
  }
  *created = error != ERROR_ALREADY_EXISTS;
  return handle;
}

// A symbolic link is replaced where it points, as writing through it would, instead of being
// turned into a plain file. Any other name is used as given.
bool ResolveTarget(const std::wstring& name, HANDLE target, std::wstring* path) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    *path = name;
    return true;
  }
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(
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

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// The folder part of a path, separator included ("" for a bare name).
std::wstring DirectoryOf(const std::wstring& path) {
  // "C:name" names a file in the current folder of drive C:, so the colon separates too.
  const auto separator = path.find_last_of(L"\\/:");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

// The name a temporary of path starts with, without its folder: ".<base>.vantry-".
std::wstring TempStemFor(const std::wstring& path) {
  std::wstring base = path.substr(DirectoryOf(path).size());
  if (base.size() > kMaxBaseInTempName) {
    // Cut between characters: a character beyond the basic plane takes two units.
    std::size_t keep = kMaxBaseInTempName;
    if (IsHighSurrogate(base[keep - 1])) {
      --keep;
    }
    base.resize(keep);
  }
  // The leading dot marks the unfinished file, as on POSIX, for people reading the folder.
  return L"." + base + kTempMarker;
}

// Letters for the temporary name: unpredictable enough that two writers, in this process or
// another, rarely meet; CREATE_NEW settles the rare meeting.
std::wstring RandomCharacters() {
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
  constexpr std::size_t kLetters = sizeof kTempAlphabet / sizeof kTempAlphabet[0] - 1;
  std::wstring text;
  for (int i = 0; i < kTempRandomCharacters; ++i) {
    text += kTempAlphabet[x % kLetters];
    x /= kLetters;
  }
  return text;
}

// Creates a new temporary file; INVALID_HANDLE_VALUE with GetLastError() set on failure.
HANDLE CreateTempFile(const std::wstring& prefix, DWORD attributes, SECURITY_ATTRIBUTES* security,
                      std::wstring* name) {
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    const std::wstring candidate = prefix + RandomCharacters();
    const HANDLE handle = CreateFileW(candidate.c_str(), GENERIC_WRITE | DELETE, 0, security,
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

// An access list of its own for new plain text, protected from the folder's inheritable
// entries (which may let other users read): full access for this process's user and for
// SYSTEM, nobody else. ReplaceFile gives the replacement the target's list, so a new target
// and its temporary both get it. Holds GetLastError() in error() when it cannot be built.
class OwnerOnlyAccess {
 public:
  OwnerOnlyAccess() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      m_error = GetLastError();
      return;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size > 0 ? size : 1);
    wchar_t* sid = nullptr;
    if (!GetTokenInformation(token, TokenUser, user.data(), size, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
      m_error = GetLastError();
      CloseHandle(token);
      return;
    }
    CloseHandle(token);
    const std::wstring text = std::wstring(L"D:P(A;;FA;;;") + sid + L")(A;;FA;;;SY)";
    LocalFree(sid);
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                              &m_descriptor, nullptr)) {
      m_error = GetLastError();
      m_descriptor = nullptr;
      return;
    }
    m_attributes.nLength = sizeof m_attributes;
    m_attributes.lpSecurityDescriptor = m_descriptor;
    m_attributes.bInheritHandle = FALSE;
  }
  ~OwnerOnlyAccess() {
    if (m_descriptor != nullptr) {
      LocalFree(m_descriptor);
    }
  }
  OwnerOnlyAccess(const OwnerOnlyAccess&) = delete;
  OwnerOnlyAccess& operator=(const OwnerOnlyAccess&) = delete;

  SECURITY_ATTRIBUTES* get() { return m_descriptor != nullptr ? &m_attributes : nullptr; }
  DWORD error() const { return m_error; }

 private:
  PSECURITY_DESCRIPTOR m_descriptor = nullptr;
  SECURITY_ATTRIBUTES m_attributes{};
  DWORD m_error = 0;
};

// After a failed replace: removes the empty file this writer created, but only if the name
// still denotes it; between closing it and the replace, anyone could have put a file there.
void RemoveCreatedTarget(const std::wstring& path, const FileIdentity& created) {
  const HANDLE handle = CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
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

bool IsTempNameOf(const std::wstring& entry, const std::wstring& stem) {
  if (entry.size() != stem.size() + kTempRandomCharacters ||
      entry.compare(0, stem.size(), stem) != 0) {
    return false;
  }
  return entry.find_first_not_of(kTempAlphabet, stem.size()) == std::wstring::npos;
}

// The temporary of a save that was killed stays behind; the next writer of the same target
// removes it. A live writer holds its temporary open without sharing until it is renamed or
// gone, and the system closes a dead process's handles, so a temporary that can be opened
// without sharing belongs to no live writer. Only names of exactly the writer's own pattern
// are considered, and only plain files; anything else is left alone.
void RemoveAbandonedTemps(const std::wstring& tempPath, HANDLE ownTemp) {
  const std::wstring directory = DirectoryOf(tempPath);
  const std::wstring own = tempPath.substr(directory.size());
  const std::wstring stem = own.substr(0, own.size() - kTempRandomCharacters);
  FileIdentity ownIdentity;
  if (!IdentityOf(ownTemp, &ownIdentity)) {
    return;
  }
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileExW((directory + stem + L"*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    const std::wstring name = found.cFileName;
    if (name == own || !IsTempNameOf(name, stem) ||
        (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      continue;
    }
    // OPEN_REPARSE_POINT: a link put there since the listing is opened itself, never followed.
    const HANDLE stale =
        CreateFileW((directory + name).c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (stale == INVALID_HANDLE_VALUE) {
      continue;  // held by a live writer or anyone else, or gone
    }
    BY_HANDLE_FILE_INFORMATION info{};
    FileIdentity identity;
    if (GetFileInformationByHandle(stale, &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        windows::IsDiskFile(stale) && IdentityOf(stale, &identity) && !(identity == ownIdentity)) {
      MarkForDeletion(stale);
    }
    CloseHandle(stale);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

// What the output holds makes no difference here: a new file gets the access control list
// its folder hands down, like any file its owner creates there, and a replaced one keeps its
// own (ReplaceFile). Narrowing either would lock out users the folder's owner meant to let in.
// Windows never rewrites a target in place: allowInPlace changes nothing here.
AtomicWriter::AtomicWriter(const std::string& targetName, OutputContents contents,
                           bool allowInPlace)
    : AtomicWriter(targetName, WriterOptions{contents, allowInPlace, false, nullptr}) {}

// With keepExisting, the empty file the writer creates at the target name, held without
// sharing until the rename, is what keeps any other file from appearing there.
AtomicWriter::AtomicWriter(const std::string& targetName, const WriterOptions& options)
    : m_targetName(targetName),
      m_fileSystem(options.fileSystem != nullptr ? options.fileSystem : &FileSystem::Default()),
      m_target(kNoHandle),
      m_temp(kNoHandle),
      m_contents(options.contents),
      m_createdTarget(false),
      m_committed(false),
      m_allowInPlace(options.allowInPlace),
      m_keepExisting(options.keepExisting) {
  const OutputContents contents = options.contents;
  const std::wstring wideName = windows::WideOrThrow(targetName, Cause::kCreate);
  OwnerOnlyAccess ownerOnly;
  SECURITY_ATTRIBUTES* security = nullptr;
  if (contents == OutputContents::kPlainText) {
    security = ownerOnly.get();
    if (security == nullptr) {
      ThrowFileError(Cause::kCreate, targetName, ownerOnly.error());
    }
  }
  const HANDLE target = OpenTarget(targetName, wideName, security, &m_createdTarget);
  m_target = ToNative(target);
  m_targetPath = windows::ToUtf8(wideName);
  if (m_keepExisting && !m_createdTarget) {
    Fail(Cause::kCreate, ERROR_FILE_EXISTS);
  }

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
  std::wstring targetPath;
  if (!ResolveTarget(wideName, target, &targetPath)) {
    Fail(Cause::kCreate, GetLastError());
  }
  m_targetPath = windows::ToUtf8(targetPath);
  // ReplaceFile carries the attributes over as well; a new file, or a system whose ReplaceFile
  // does not, still gets the ones that matter from its temporary.
  DWORD attributes = info.dwFileAttributes & kCarriedAttributes;
  if (attributes == 0) {
    attributes = FILE_ATTRIBUTE_NORMAL;
  }
  std::wstring tempName;
  const HANDLE temp = CreateTempFile(DirectoryOf(targetPath) + TempStemFor(targetPath), attributes,
                                     m_createdTarget ? security : nullptr, &tempName);
  if (temp == INVALID_HANDLE_VALUE) {
    Fail(Cause::kCreate, GetLastError());
  }
  m_temp = ToNative(temp);
  m_tempName = windows::ToUtf8(tempName);
  // The replacement is the same file to its users: it was created when the target was. Where
  // ReplaceFile keeps the creation time this changes nothing; elsewhere it does the same.
  if (!m_createdTarget && !SetFileTime(temp, &info.ftCreationTime, nullptr, nullptr)) {
    Fail(Cause::kCreate, GetLastError());
  }
  RemoveAbandonedTemps(tempName, temp);
  m_fileSystem->Reached(WriterStep::kTempCreated);
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
  while (n > 0) {
    std::size_t written = 0;
    if (const int error =
            m_fileSystem->Write(m_temp, bytes, n < kMaxTransfer ? n : kMaxTransfer, &written)) {
      Fail(Cause::kWrite, error);
    }
    // A short write is no error of its own: the rest is offered again, and a device that
    // takes nothing more says why on the next call. Nothing at all taken without an error
    // leaves no reason to expect more.
    if (written == 0) {
      Fail(Cause::kWrite, ERROR_DISK_FULL);
    }
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
  if (const int error = m_fileSystem->SyncFile(m_temp)) {
    Fail(Cause::kClose, error);
  }
  m_temp = kNoHandle;
  const std::wstring tempName = Wide(m_tempName);
  const std::wstring targetPath = Wide(m_targetPath);
  if (!CloseHandle(temp)) {
    const DWORD error = GetLastError();
    DeleteFileW(tempName.c_str());
    Fail(Cause::kClose, error);
  }
  // The target has to be closed before the replace: a handle without sharing, ours included,
  // makes ReplaceFileW and MoveFileExW fail with ERROR_SHARING_VIOLATION.
  const HANDLE target = ToHandle(m_target);
  FileIdentity created;
  const bool knowCreated = m_createdTarget && IdentityOf(target, &created);
  m_target = kNoHandle;
  CloseHandle(target);
  // A file this writer created is only its empty placeholder: the temporary simply takes its
  // name. WRITE_THROUGH returns only when the rename is on disk, as the directory sync does on
  // POSIX.
  m_fileSystem->Reached(WriterStep::kBeforeRename);
  const int error =
      m_fileSystem->Rename(kNoHandle, m_tempName, m_targetPath,
                           m_createdTarget ? RenameMode::kReplace : RenameMode::kReplaceExisting);
  if (error != 0) {
    DeleteFileW(tempName.c_str());
    if (knowCreated) {
      RemoveCreatedTarget(targetPath, created);
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
      DeleteFileW(Wide(m_tempName).c_str());
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
