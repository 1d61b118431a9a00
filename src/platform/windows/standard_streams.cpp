#include "platform/standard_streams.h"

#include "platform/windows/win32.h"

namespace vantry::platform {

// The handles are used directly, below the C runtime, so no text mode translates line ends
// or stops at a Ctrl-Z byte.
std::size_t ReadStandardInput(void* buffer, std::size_t n) {
  if (n == 0) {
    return 0;
  }
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) {
    windows::ThrowFileError(FileError::Cause::kRead, kStandardInputName, ERROR_INVALID_HANDLE);
  }
  DWORD got = 0;
  const DWORD ask = static_cast<DWORD>(n < windows::kMaxTransfer ? n : windows::kMaxTransfer);
  if (!ReadFile(input, buffer, ask, &got, nullptr)) {
    const DWORD error = GetLastError();
    // The writing end of a pipe closed: that is the end of the input, not a failure.
    if (error == ERROR_BROKEN_PIPE) {
      return 0;
    }
    windows::ThrowFileError(FileError::Cause::kRead, kStandardInputName, error);
  }
  return got;
}

void WriteStandardOutput(const void* data, std::size_t n) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) {
    windows::ThrowFileError(FileError::Cause::kWrite, kStandardOutputName, ERROR_INVALID_HANDLE);
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (n > 0) {
    DWORD written = 0;
    const DWORD ask = static_cast<DWORD>(n < windows::kMaxTransfer ? n : windows::kMaxTransfer);
    if (!WriteFile(output, bytes, ask, &written, nullptr)) {
      windows::ThrowFileError(FileError::Cause::kWrite, kStandardOutputName, GetLastError());
    }
    if (written == 0) {
      windows::ThrowFileError(FileError::Cause::kWrite, kStandardOutputName, ERROR_DISK_FULL);
    }
    bytes += written;
    n -= written;
  }
}

}  // namespace vantry::platform
