// Test helper: a handle that another program of the machine could hold on a file, opened
// directly with CreateFileA and the share mode under test.
#ifndef VANTRY_PLATFORM_WINDOWS_HELD_FILE_H_
#define VANTRY_PLATFORM_WINDOWS_HELD_FILE_H_

#include <gtest/gtest.h>

#include <string>

#include "platform/windows/win32.h"

namespace vantry::test {

class HeldFile {
 public:
  HeldFile(const std::string& name, DWORD access, DWORD shareMode)
      : m_handle(CreateFileA(name.c_str(), access, shareMode, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr)),
        m_error(GetLastError()) {}
  ~HeldFile() {
    if (ok()) {
      CloseHandle(m_handle);
    }
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  bool ok() const { return m_handle != INVALID_HANDLE_VALUE; }
  // GetLastError() of the open: ERROR_SHARING_VIOLATION when someone holds the file.
  DWORD error() const { return m_error; }

 private:
  HANDLE m_handle;
  DWORD m_error;
};

}  // namespace vantry::test

#endif  // VANTRY_PLATFORM_WINDOWS_HELD_FILE_H_
