#include "platform/file.h"
#include "platform/windows/wide_name.h"
#include "platform/windows/win32.h"

namespace vantry::platform {
namespace {

using windows::IsOpen;
using windows::kMaxTransfer;
using windows::ThrowFileError;
using windows::ToHandle;
using Cause = FileError::Cause;

}  // namespace

ExclusiveReader::ExclusiveReader(const std::string& fileName)
    : m_fileName(fileName), m_handle(windows::kNoNativeHandle), m_open(false) {
  // Share mode 0: no other handle, for reading or writing, may exist while this one does, and
  // this open fails with ERROR_SHARING_VIOLATION while any other handle to the file exists.
  const std::wstring wideName = windows::WideOrThrow(fileName, Cause::kOpen);
  const HANDLE handle = CreateFileW(wideName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    ThrowFileError(Cause::kOpen, fileName, GetLastError());
  }
  if (!windows::IsDiskFile(handle)) {
    CloseHandle(handle);
    ThrowFileError(Cause::kOpen, fileName, windows::kNotADiskFileError);
  }
  m_handle = windows::ToNative(handle);
  m_open = true;
}

ExclusiveReader::~ExclusiveReader() {
  if (m_open) {
    CloseHandle(ToHandle(m_handle));
  }
}

std::uint64_t ExclusiveReader::Size() {
  if (!m_open) {
    ThrowFileError(Cause::kSize, m_fileName, ERROR_INVALID_HANDLE);
  }
  // The high half is asked for too: a file of 4 GiB or more must not pass for its size modulo
  // 4 GiB. INVALID_FILE_SIZE is also a valid low half, so only GetLastError tells a failure.
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(ToHandle(m_handle), &high);
  if (low == INVALID_FILE_SIZE) {
    const DWORD error = GetLastError();
    if (error != NO_ERROR) {
      ThrowFileError(Cause::kSize, m_fileName, error);
    }
  }
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

std::size_t ExclusiveReader::ReadSome(void* buffer, std::size_t n) {
  if (!m_open) {
    ThrowFileError(Cause::kRead, m_fileName, ERROR_INVALID_HANDLE);
  }
  if (n == 0) {
    return 0;
  }
  const DWORD ask = static_cast<DWORD>(n < kMaxTransfer ? n : kMaxTransfer);
  DWORD got = 0;
  if (!ReadFile(ToHandle(m_handle), buffer, ask, &got, nullptr)) {
    ThrowFileError(Cause::kRead, m_fileName, GetLastError());
  }
  return got;
}

void ExclusiveReader::Close() {
  if (!m_open) {
    return;
  }
  m_open = false;
  const HANDLE handle = ToHandle(m_handle);
  m_handle = windows::kNoNativeHandle;
  if (!CloseHandle(handle)) {
    ThrowFileError(Cause::kClose, m_fileName, GetLastError());
  }
}

}  // namespace vantry::platform
