// Two names of one file on Windows: both opened (without access to the data, so a file held
// without sharing can still be asked) and compared by volume serial number and file index,
// which is what makes a file itself on NTFS and FAT alike. The names are converted to UTF-16
// in the caller's encoding first: comparing narrow strings, or handing them to a library that
// reads them in another code page, misses names outside ASCII.
#include "platform/file.h"
#include "platform/windows/wide_name.h"
#include "platform/windows/win32.h"

namespace vantry::platform {
namespace {

bool Identify(const std::string& name, BY_HANDLE_FILE_INFORMATION* info) noexcept {
  try {
    std::wstring wide;
    DWORD error = 0;
    if (!windows::ToWide(name, &wide, &error)) {
      return false;
    }
    // FILE_FLAG_BACKUP_SEMANTICS opens folders too; no access right is asked for the data.
    HANDLE handle =
        CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      return false;
    }
    const BOOL ok = GetFileInformationByHandle(handle, info);
    CloseHandle(handle);
    return ok != 0;
  } catch (...) {  // the conversion may fail to allocate
    return false;
  }
}

}  // namespace

bool SameExistingFile(const std::string& a, const std::string& b) noexcept {
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return Identify(a, &first) && Identify(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace vantry::platform
