#include "platform/trusted_path.h"

#include "platform/windows/wide_name.h"
#include "platform/windows/win32.h"

namespace vantry::platform {

using windows::kMaxTransfer;
using windows::ThrowFileError;
using windows::ToHandle;
using Cause = FileError::Cause;

// Who may change a file here is its access control list's affair, which the files and folders
// of a user's profile restrict to the user, the system and administrators; owner and mode bits
// to judge as on POSIX do not exist, so the file is opened as it is named.
TrustedFile::TrustedFile(const std::string& path, const std::string&, Exposure,
                         const InterruptCheck& interrupted)
    : m_path(path), m_handle(windows::kNoNativeHandle), m_interrupted(interrupted) {
  const std::wstring wide = windows::WideOrThrow(path, Cause::kOpen);
  const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    ThrowFileError(Cause::kOpen, path, GetLastError());
  }
  m_handle = windows::ToNative(handle);
}

TrustedFile::~TrustedFile() { CloseHandle(ToHandle(m_handle)); }

std::size_t TrustedFile::ReadSome(void* buffer, std::size_t n) {
  const DWORD ask = static_cast<DWORD>(n < kMaxTransfer ? n : kMaxTransfer);
  DWORD got = 0;
  if (!ReadFile(ToHandle(m_handle), buffer, ask, &got, nullptr)) {
    const DWORD error = GetLastError();
    // The writer of a pipe closed its end: that is the end of the input.
    if (error == ERROR_BROKEN_PIPE) {
      return 0;
    }
    ThrowFileError(Cause::kRead, m_path, error);
  }
  return got;
}

void RequireTrustedFolder(const std::string&, const std::string&) {}

}  // namespace vantry::platform
