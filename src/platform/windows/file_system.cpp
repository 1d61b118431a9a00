#include "platform/file_system.h"

#include <vector>

#include "platform/windows/wide_name.h"
#include "platform/windows/win32.h"

namespace vantry::platform {
namespace {

using windows::ToHandle;

std::wstring Wide(const std::string& utf8) {
  std::wstring wide;
  DWORD ignored = NO_ERROR;
  windows::ToWideIn(NameEncoding::kUtf8, utf8, &wide, &ignored);
  return wide;
}

// The absolute form of a path; empty, with GetLastError() set, on failure.
std::wstring FullPath(const std::wstring& path) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) {
      return std::wstring();
    }
    if (length < buffer.size()) {
      return std::wstring(buffer.data(), length);
    }
    buffer.resize(length + 1);
  }
}

// Puts the finished temporary in place of an existing target. ReplaceFile keeps what belongs
// to the file rather than to its content: its access control list, attributes, alternate
// streams, creation time and short name. On failure the target is as it was (no backup file is
// asked for, so it is never renamed away).
bool ReplaceExisting(const std::wstring& target, const std::wstring& temp) {
  // Full paths: Wine's ReplaceFileW refuses relative ones with ERROR_DIRECTORY.
  const std::wstring fullTarget = FullPath(target);
  const std::wstring fullTemp = FullPath(temp);
  if (fullTarget.empty() || fullTemp.empty()) {
    return false;
  }
  return ReplaceFileW(fullTarget.c_str(), fullTemp.c_str(), nullptr, 0, nullptr, nullptr) != FALSE;
}

class WindowsFileSystem final : public FileSystem {
 public:
  int Write(NativeHandle file, const void* data, std::size_t n, std::size_t* written) override {
    DWORD done = 0;
    const bool ok = WriteFile(ToHandle(file), data, static_cast<DWORD>(n), &done, nullptr) != FALSE;
    *written = done;
    return ok ? 0 : static_cast<int>(GetLastError());
  }

  int SyncFile(NativeHandle file) override {
    return FlushFileBuffers(ToHandle(file)) ? 0 : static_cast<int>(GetLastError());
  }

  // A rename is on disk when MoveFileEx with WRITE_THROUGH or ReplaceFile returns.
  int SyncFolder(NativeHandle) override { return 0; }

  int Rename(NativeHandle, const std::string& from, const std::string& to,
             RenameMode mode) override {
    const std::wstring wideFrom = Wide(from);
    const std::wstring wideTo = Wide(to);
    bool done = false;
    if (mode == RenameMode::kReplaceExisting) {
      done = ReplaceExisting(wideTo, wideFrom);
    } else {
      const DWORD replace = mode == RenameMode::kReplace ? MOVEFILE_REPLACE_EXISTING : 0;
      done =
          MoveFileExW(wideFrom.c_str(), wideTo.c_str(), replace | MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    return done ? 0 : static_cast<int>(GetLastError());
  }

  void Reached(WriterStep) override {}
};

}  // namespace

FileSystem& SystemFileSystem() {
  static WindowsFileSystem system;
  return system;
}

int DiskFullError() noexcept { return ERROR_DISK_FULL; }

}  // namespace vantry::platform
