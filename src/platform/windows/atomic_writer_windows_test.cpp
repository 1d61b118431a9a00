// The Windows side of AtomicWriter: the Win32 codes of its failures, share mode 0 on the target
// until the replace, what the replacement keeps of the target, and that nothing is left over.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/file_errors.h"
#include "platform/file.h"
#include "platform/windows/held_file.h"
#include "platform/windows/win32.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::Bytes;
using test::ExpectFileError;
using test::HeldFile;
using test::TempDir;
using Cause = FileError::Cause;
using Names = std::vector<std::string>;

constexpr DWORD kShareEverything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class AtomicWriterWindowsTest : public ::testing::Test {
 protected:
  void TearDown() override { SetWriteFaultForTesting(-1); }
  TempDir dir;
};

TEST_F(AtomicWriterWindowsTest, CreateFailuresCarryTheWin32CodeAndLeaveEverythingAsItWas) {
  const std::string heldByReader = dir.File("reader.bin");
  test::WriteFile(heldByReader, Bytes{1});
  ExclusiveReader reader(heldByReader);
  const std::string heldByOther = dir.File("other.bin");
  test::WriteFile(heldByOther, Bytes{2});
  HeldFile other(heldByOther, GENERIC_READ, kShareEverything);
  ASSERT_TRUE(other.ok());

  const struct {
    std::string name;
    DWORD error;
  } cases[] = {
      {dir.File("none/out.bin"), ERROR_PATH_NOT_FOUND},
      {dir.path(), ERROR_ACCESS_DENIED},
      {"", ERROR_PATH_NOT_FOUND},
      {"NUL", ERROR_INVALID_PARAMETER},  // a device is never replaced by a file
      {heldByReader, ERROR_SHARING_VIOLATION},
      {heldByOther, ERROR_SHARING_VIOLATION},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto caught =
        ExpectFileError([&] { AtomicWriter writer(c.name); }, Cause::kCreate, c.name);
    EXPECT_EQ(caught.code, static_cast<int>(c.error));
    EXPECT_EQ(caught.what,
              "cannot create file " + c.name + ": " + SystemErrorText(static_cast<int>(c.error)));
  }
  reader.Close();
  EXPECT_EQ(test::ReadFile(heldByReader), Bytes{1});
  EXPECT_EQ(dir.Entries(), (Names{"other.bin", "reader.bin"}));
}

TEST_F(AtomicWriterWindowsTest, AReadOnlyTargetIsRefusedAndKept) {
  const std::string name = dir.File("readonly.bin");
  test::WriteFile(name, Bytes{4, 4});
  ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY));
  const bool systemRefuses = !HeldFile(name, GENERIC_WRITE, 0).ok();
  if (systemRefuses) {
    EXPECT_EQ(ExpectFileError([&] { AtomicWriter writer(name); }, Cause::kCreate, name).code,
              ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ(test::ReadFile(name), (Bytes{4, 4}));
  EXPECT_EQ(dir.Entries(), Names{"readonly.bin"});
  SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!systemRefuses) {
    GTEST_SKIP() << "this system lets its user write read-only files (Wine run as root)";
  }
}

TEST_F(AtomicWriterWindowsTest, NoOtherHandleCanBeOpenedOnTheTargetUntilCommit) {
  for (bool existed : {true, false}) {
    SCOPED_TRACE(existed);
    const std::string name = dir.File("target.bin");
    if (existed) {
      test::WriteFile(name, Bytes{7});
    }
    AtomicWriter writer(name);
    writer.Write("new", 3);
    for (DWORD access : {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}, DWORD{DELETE}}) {
      SCOPED_TRACE(access);
      HeldFile intruder(name, access, kShareEverything);
      EXPECT_FALSE(intruder.ok());
      EXPECT_EQ(intruder.error(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_FALSE(
        MoveFileExA(dir.File("elsewhere.bin").c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING));
    writer.Commit();
    EXPECT_TRUE(HeldFile(name, GENERIC_READ, 0).ok());
    EXPECT_EQ(test::ReadFile(name), (Bytes{'n', 'e', 'w'}));
    EXPECT_EQ(dir.Entries(), Names{"target.bin"});
    DeleteFileA(name.c_str());
  }
}

TEST_F(AtomicWriterWindowsTest, TheTemporaryStandsBesideTheTargetWhateverTheSeparator) {
  for (const std::string separator : {"/", "\\"}) {
    SCOPED_TRACE(separator);
    const std::string name = dir.path() + separator + "t.bin";
    AtomicWriter writer(name);
    const std::string prefix = dir.path() + separator + ".t.bin.vantry-";
    EXPECT_EQ(writer.TempName().rfind(prefix, 0), 0u) << writer.TempName();
    EXPECT_EQ(writer.TempName().size(), prefix.size() + 6);
    EXPECT_TRUE(test::FileExists(writer.TempName()));
    writer.Commit();
    EXPECT_FALSE(test::FileExists(writer.TempName()));
    DeleteFileA(name.c_str());
  }
}

TEST_F(AtomicWriterWindowsTest, HiddenAndSystemTargetsStaySo) {
  const std::string name = dir.File("quiet.bin");
  const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  test::WriteFile(name, Bytes{1});
  ASSERT_TRUE(SetFileAttributesA(name.c_str(), kept));
  AtomicWriter writer(name);
  writer.Write("x", 1);
  writer.Commit();
  EXPECT_EQ(GetFileAttributesA(name.c_str()) & kept, kept);
  EXPECT_EQ(test::ReadFile(name), Bytes{'x'});
  SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(AtomicWriterWindowsTest, TheSimulatedFullDiskSaysDiskFull) {
  const std::string name = dir.File("out.bin");
  SetWriteFaultForTesting(10);
  AtomicWriter writer(name);
  const auto caught =
      ExpectFileError([&] { writer.Write("0123456789A", 11); }, Cause::kWrite, name);
  EXPECT_EQ(caught.code, ERROR_DISK_FULL);
  EXPECT_EQ(caught.what, "cannot write file " + name + ": " + SystemErrorText(ERROR_DISK_FULL));
  SetWriteFaultForTesting(-1);
  EXPECT_EQ(dir.Entries(), Names{});
}

TEST_F(AtomicWriterWindowsTest, WriteAfterCommitSaysInvalidHandle) {
  const std::string name = dir.File("done.bin");
  AtomicWriter writer(name);
  writer.Commit();
  EXPECT_EQ(ExpectFileError([&] { writer.Write("x", 1); }, Cause::kWrite, name).code,
            ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace vantry::platform
