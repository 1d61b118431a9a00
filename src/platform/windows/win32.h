// What the Windows file code shares: <windows.h> without its min/max macros, the conversion
// between HANDLE and the portable NativeHandle, and raising a FileError from a Win32 code.
#ifndef VANTRY_PLATFORM_WINDOWS_WIN32_H_
#define VANTRY_PLATFORM_WINDOWS_WIN32_H_

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// Access lists (plain-text outputs are owner-only); these need <windows.h> first.
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <system_error>

#include "platform/file.h"
#include "vantry/file_error.h"

namespace vantry::platform::windows {

// INVALID_HANDLE_VALUE is (HANDLE)-1. Spelt as a constant expression, so that no handle
// variable needs code to run when the DLL is loaded.
constexpr NativeHandle kNoNativeHandle = -1;

inline HANDLE ToHandle(NativeHandle handle) noexcept { return reinterpret_cast<HANDLE>(handle); }
inline NativeHandle ToNative(HANDLE handle) noexcept {
  return reinterpret_cast<NativeHandle>(handle);
}
inline bool IsOpen(NativeHandle handle) noexcept {
  return ToHandle(handle) != INVALID_HANDLE_VALUE;
}

inline std::error_code SystemCode(DWORD error) noexcept {
  return std::error_code(static_cast<int>(error), std::system_category());
}

[[noreturn]] inline void ThrowFileError(FileError::Cause cause, const std::string& name,
                                        DWORD error) {
  throw FileError(cause, name, SystemCode(error));
}

// ReadFile and WriteFile count in DWORDs; larger transfers are split into pieces of this size.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// Opening a device (CON, NUL, COM1, a pipe) would hand us something that blocks or has no
// size; only files on a disk are read and replaced. Fails with this code otherwise.
constexpr DWORD kNotADiskFileError = ERROR_INVALID_PARAMETER;
inline bool IsDiskFile(HANDLE handle) noexcept { return GetFileType(handle) == FILE_TYPE_DISK; }

}  // namespace vantry::platform::windows

#endif  // VANTRY_PLATFORM_WINDOWS_WIN32_H_
