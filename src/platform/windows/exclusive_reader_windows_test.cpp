// The Windows side of ExclusiveReader: the Win32 codes its failures carry, share mode 0
// against every other kind of handle, and sizes beyond what 32 bits hold.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/file.h"
#include "platform/windows/held_file.h"
#include "platform/windows/win32.h"
#include "support/file_errors.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::Bytes;
using test::ExpectFileError;
using test::HeldFile;
using test::TempDir;
using Cause = FileError::Cause;

TEST(ExclusiveReaderWindowsTest, OpenFailuresCarryTheWin32CodeAndItsText) {
  TempDir dir;
  const std::string held = dir.File("held.bin");
  test::WriteFile(held, Bytes{1});
  HeldFile holder(held, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  ASSERT_TRUE(holder.ok());
  const struct {
    std::string name;
    DWORD error;
  } cases[] = {
      {dir.File("missing.bin"), ERROR_FILE_NOT_FOUND},
      {dir.File("none/missing.bin"), ERROR_PATH_NOT_FOUND},
      {dir.path(), ERROR_ACCESS_DENIED},  // a folder is no file to read
      {"", ERROR_PATH_NOT_FOUND},
      {"NUL", ERROR_INVALID_PARAMETER},  // a device would read nothing or wait forever
      // Share mode 0 asks for the file alone; any other handle, even one that shares
      // everything, stands in the way.
      {held, ERROR_SHARING_VIOLATION},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto caught =
        ExpectFileError([&] { ExclusiveReader reader(c.name); }, Cause::kOpen, c.name);
    EXPECT_EQ(caught.code, static_cast<int>(c.error));
    EXPECT_EQ(caught.what, "cannot open file for reading " + c.name + ": " +
                               SystemErrorText(static_cast<int>(c.error)));
  }
}

TEST(ExclusiveReaderWindowsTest, NoOtherHandleCanBeOpenedWhileItHoldsTheFile) {
  TempDir dir;
  const std::string name = dir.File("mine.bin");
  test::WriteFile(name, Bytes{1, 2, 3});
  const DWORD shareEverything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  {
    ExclusiveReader reader(name);
    for (DWORD access : {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}, DWORD{DELETE}}) {
      SCOPED_TRACE(access);
      HeldFile other(name, access, shareEverything);
      EXPECT_FALSE(other.ok());
      EXPECT_EQ(other.error(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_FALSE(DeleteFileA(name.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }
  HeldFile after(name, GENERIC_READ, shareEverything);  // released with the reader
  EXPECT_TRUE(after.ok());
}

// Sizes around 4 GiB: 0xFFFFFFFF is also INVALID_FILE_SIZE, the failure value of the low half,
// and just above 4 GiB the low half alone would claim a small file.
TEST(ExclusiveReaderWindowsTest, SizesBeyond32BitsAreReportedWhole) {
  TempDir dir;
  const std::string name = dir.File("big.bin");
  for (std::uint64_t size :
       {0ull, 1ull, 0xFFFFFFFEull, 0xFFFFFFFFull, 0x100000000ull, 0x100000010ull, 0x140000007ull}) {
    SCOPED_TRACE(size);
    {
      const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(file, INVALID_HANDLE_VALUE);
      LARGE_INTEGER end{};
      end.QuadPart = static_cast<LONGLONG>(size);
      ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
      ASSERT_TRUE(SetEndOfFile(file));
      CloseHandle(file);
    }
    ExclusiveReader reader(name);
    EXPECT_EQ(reader.Size(), size);
  }
}

TEST(ExclusiveReaderWindowsTest, ReadAndUseFailuresCarryTheirCodes) {
  TempDir dir;
  const std::string name = dir.File("short.bin");
  test::WriteFile(name, Bytes(5, 1));
  ExclusiveReader reader(name);
  Bytes buffer(6);
  reader.Close();
  EXPECT_EQ(ExpectFileError([&] { reader.ReadSome(buffer.data(), 1); }, Cause::kRead, name).code,
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(ExpectFileError([&] { reader.Size(); }, Cause::kSize, name).code, ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace vantry::platform
