// The Windows side of AtomicWriter: the Win32 codes of its failures, share mode 0 on the target
// until the replace, what the replacement keeps of the target, and that nothing is left over.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/name_encoding.h"
#include "platform/platform_test_util.h"
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
using Names = std::vector<std::string>;

constexpr DWORD kShareEverything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class AtomicWriterWindowsTest : public ::testing::Test {
 protected:
  TempDir dir;
};

// New plain text gets an access list of its own, for its owner and SYSTEM only, not the
// folder's inheritable entries, which may let other users read (under Wine: Everyone).
TEST_F(AtomicWriterWindowsTest, NewPlainTextHasAnOwnerOnlyAccessList) {
  const std::string name = dir.File("plain.txt");
  AtomicWriter(name, OutputContents::kPlainText).Commit();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  if (GetNamedSecurityInfoA(name.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    GTEST_SKIP() << "this system does not give access lists back";
  }
  ACL_SIZE_INFORMATION sizes{};
  ASSERT_TRUE(dacl && GetAclInformation(dacl, &sizes, sizeof sizes, AclSizeInformation));
  EXPECT_EQ(sizes.AceCount, 2u);
  for (DWORD i = 0; i < sizes.AceCount; ++i) {
    void* ace = nullptr;
    char* sid = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, &ace) &&
                ConvertSidToStringSidA(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, &sid));
    // SYSTEM, or a user's own (S-1-5-21-...): no group, no Everyone.
    EXPECT_TRUE(std::string(sid) == "S-1-5-18" || std::string(sid).rfind("S-1-5-21-", 0) == 0)
        << sid;
    LocalFree(sid);
  }
  LocalFree(descriptor);
}

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
  DiskFullFileSystem disk(10);
  AtomicWriter writer(name, test::Through(disk));
  const auto caught =
      ExpectFileError([&] { writer.Write("0123456789A", 11); }, Cause::kWrite, name);
  EXPECT_EQ(caught.code, ERROR_DISK_FULL);
  EXPECT_EQ(caught.what, "cannot write file " + name + ": " + SystemErrorText(ERROR_DISK_FULL));
  EXPECT_EQ(dir.Entries(), Names{});
}

TEST_F(AtomicWriterWindowsTest, WriteAfterCommitSaysInvalidHandle) {
  const std::string name = dir.File("done.bin");
  AtomicWriter writer(name);
  writer.Commit();
  EXPECT_EQ(ExpectFileError([&] { writer.Write("x", 1); }, Cause::kWrite, name).code,
            ERROR_INVALID_HANDLE);
}

// ReplaceFile, unlike a rename over the target, keeps what belongs to the file rather than to
// its content; the writer also carries the attributes and creation time over itself, for
// systems whose ReplaceFile does not. Held against what this system can store at all (Wine
// keeps neither the temporary attribute nor a creation time of its own).
TEST_F(AtomicWriterWindowsTest, AReplacedFileKeepsItsAttributesAndCreationTime) {
  const std::string name = dir.File("kept.bin");
  test::WriteFile(name, Bytes{1});
  ASSERT_TRUE(SetFileAttributesA(
      name.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY));
  FILETIME created{};
  created.dwHighDateTime = 0x01C0A000;  // early 2001
  {
    const HANDLE file = CreateFileA(name.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileTime(file, &created, nullptr, nullptr));
    CloseHandle(file);
  }
  WIN32_FILE_ATTRIBUTE_DATA before{};
  ASSERT_TRUE(GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &before));
  ASSERT_NE(before.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN, 0u);
  const bool storesCreation = before.ftCreationTime.dwHighDateTime == created.dwHighDateTime;

  AtomicWriter writer(name);
  writer.Write("new", 3);
  writer.Commit();

  EXPECT_EQ(test::ReadFile(name), (Bytes{'n', 'e', 'w'}));
  WIN32_FILE_ATTRIBUTE_DATA after{};
  ASSERT_TRUE(GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &after));
  const DWORD watched = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY;
  EXPECT_EQ(after.dwFileAttributes & watched, before.dwFileAttributes & watched);
  if (storesCreation) {
    EXPECT_EQ(after.ftCreationTime.dwHighDateTime, created.dwHighDateTime);
    EXPECT_EQ(after.ftCreationTime.dwLowDateTime, created.dwLowDateTime);
  }
  EXPECT_EQ(dir.Entries(), Names{"kept.bin"});
  SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
}

std::vector<std::wstring> WideEntries(const std::string& folder) {
  std::vector<std::wstring> names;
  std::wstring pattern(folder.begin(), folder.end());  // the test folder's name is ASCII
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((pattern + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") {
      names.push_back(name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(AtomicWriterWindowsTest, Utf8NamesBecomeTheirUnicodeNames) {
  const ScopedNameEncoding utf8(NameEncoding::kUtf8);
  // é, Cyrillic, CJK and a character beyond the basic plane (two UTF-16 units).
  const struct {
    std::string utf8;
    std::wstring wide;
  } names[] = {
      {"caf\xC3\xA9.bin", L"caf\u00E9.bin"},
      {"\xD0\xB7\xD0\xB0\xD0\xBC.bin", L"\u0437\u0430\u043C.bin"},
      {"\xE8\xA1\xA8.bin", L"\u8868.bin"},
      {"\xF0\x9F\x98\x80.bin", L"\xD83D\xDE00.bin"},
  };
  std::vector<std::wstring> expected;
  for (const auto& n : names) {
    SCOPED_TRACE(n.utf8);
    AtomicWriter writer(dir.File(n.utf8));
    writer.Write(n.utf8.data(), n.utf8.size());
    writer.Commit();
    ExclusiveReader reader(dir.File(n.utf8));
    std::string back(n.utf8.size(), '\0');
    back.resize(reader.ReadSome(&back[0], back.size()));
    EXPECT_EQ(back, n.utf8);
    expected.push_back(n.wide);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(WideEntries(dir.path()), expected);
}

TEST_F(AtomicWriterWindowsTest, BytesThatAreNotUtf8AreRefusedAsNoName) {
  const ScopedNameEncoding utf8(NameEncoding::kUtf8);
  const std::string name = dir.File("caf\xE9.bin");  // Latin-1, not UTF-8
  EXPECT_EQ(ExpectFileError([&] { AtomicWriter writer(name); }, Cause::kCreate, name).code,
            ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_EQ(ExpectFileError([&] { ExclusiveReader reader(name); }, Cause::kOpen, name).code,
            ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_EQ(dir.Entries(), Names{});
}

// The six entry points read names in the ANSI code page, as the A functions always did: a
// file made through CreateFileA is the file the writer and the reader find under that name.
TEST_F(AtomicWriterWindowsTest, AnsiNamesAreTheNamesOfTheAFunctions) {
  const std::string name = dir.File("caf\xE9-\xA4.bin");
  test::WriteFile(name, Bytes{1});
  const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  AtomicWriter writer(name);
  writer.Write("a", 1);
  writer.Commit();
  ExclusiveReader reader(name);
  EXPECT_EQ(reader.Size(), 1u);
  EXPECT_EQ(WideEntries(dir.path()).size(), 1u);
}

// A long name is shortened in its temporary's name between characters, never inside the pair
// of units of a character beyond the basic plane.
TEST_F(AtomicWriterWindowsTest, ALongNameIsShortenedBetweenCharacters) {
  const ScopedNameEncoding utf8(NameEncoding::kUtf8);
  for (std::size_t before : {198u, 199u}) {
    SCOPED_TRACE(before);
    // The pair takes units 199 and 200 (or 200 and 201) of the name.
    const std::string base = std::string(before, 'n') + "\xF0\x9F\x98\x80" + std::string(40, 'm');
    AtomicWriter writer(dir.File(base));
    const std::string kept =
        before == 198 ? std::string(198, 'n') + "\xF0\x9F\x98\x80" : std::string(199, 'n');
    const std::string prefix = dir.File("." + kept + ".vantry-");
    EXPECT_EQ(writer.TempName().rfind(prefix, 0), 0u) << writer.TempName();
    EXPECT_EQ(writer.TempName().size(), prefix.size() + 6);
  }
  EXPECT_EQ(dir.Entries(), Names{});
}

}  // namespace
}  // namespace vantry::platform
