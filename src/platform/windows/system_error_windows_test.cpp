#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/windows/win32.h"

namespace vantry::platform {
namespace {

TEST(SystemErrorWindowsTest, LastErrorIsGetLastError) {
  for (DWORD code : {DWORD{0}, DWORD{ERROR_SHARING_VIOLATION}, DWORD{ERROR_DISK_FULL}}) {
    SetLastError(code);
    EXPECT_EQ(LastSystemError(), static_cast<int>(code));
  }
}

TEST(SystemErrorWindowsTest, CodesWithoutTextAreNamedByNumber) {
  EXPECT_EQ(SystemErrorText(0x2FFFFFFF), "Unknown error 805306367");
}

}  // namespace
}  // namespace vantry::platform
