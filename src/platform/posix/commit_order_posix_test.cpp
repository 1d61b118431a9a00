// The order that makes a replace survive a crash: the temporary's data on disk, then the
// rename, then the folder's entry on disk. The test executable is linked with
// --wrap=fsync --wrap=renameat (see CMakeLists.txt), so every such call of the writer passes
// through the recorders below, which can also make one fail.
#if defined(VANTRY_PLATFORM_SYNC_WRAPPED)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/file_errors.h"
#include "support/test_support.h"

extern "C" int __real_fsync(int fd);
extern "C" int __real_renameat(int from, const char* fromName, int to, const char* toName);

namespace {

std::vector<std::string> g_calls;
std::string g_failing;  // the call ("fsync file", "fsync folder") that fails with EIO

void Record(const std::string& call) { g_calls.push_back(call); }

}  // namespace

extern "C" int __wrap_fsync(int fd) {
  struct stat info {};
  const std::string call =
      ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) ? "fsync folder" : "fsync file";
  Record(call);
  if (call == g_failing) {
    errno = EIO;
    return -1;
  }
  return __real_fsync(fd);
}

extern "C" int __wrap_renameat(int from, const char* fromName, int to, const char* toName) {
  Record("rename");
  return __real_renameat(from, fromName, to, toName);
}

namespace vantry::platform {
namespace {

using test::Bytes;
using test::ExpectFileError;
using test::TempDir;
using Calls = std::vector<std::string>;

class CommitOrderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_failing.clear();
  }
  void TearDown() override { g_failing.clear(); }

  void Save(const std::string& target, const Bytes& bytes) {
    AtomicWriter writer(target);
    writer.Write(bytes.data(), bytes.size());
    g_calls.clear();
    writer.Commit();
  }

  TempDir dir;
};

TEST_F(CommitOrderTest, DataIsOnDiskBeforeTheRenameAndTheRenameBeforeSuccess) {
  const std::string target = dir.File("t.vty");
  const char* promise = "SECURITY.md: power loss after the flush leaves the previous file";
  Save(target, {1});  // new
  EXPECT_EQ(g_calls, (Calls{"fsync file", "rename", "fsync folder"})) << promise;
  Save(target, {2});  // replaced
  EXPECT_EQ(g_calls, (Calls{"fsync file", "rename", "fsync folder"})) << promise;
  EXPECT_EQ(test::ReadFile(target), Bytes{2});
}

TEST_F(CommitOrderTest, AFailedFlushOfTheTemporaryLeavesThePreviousFile) {
  const std::string target = dir.File("t.vty");
  test::WriteFile(target, {7, 7});
  g_failing = "fsync file";
  EXPECT_EQ(ExpectFileError([&] { Save(target, {1}); }, FileError::Cause::kClose, target).code,
            EIO);
  EXPECT_EQ(g_calls, (Calls{"fsync file"}));  // no rename after it
  EXPECT_EQ(test::ReadFile(target), (Bytes{7, 7}));
  EXPECT_EQ(dir.Entries(), Calls{"t.vty"});
}

// The new file is in place, but a crash could still undo the rename: not reported as success.
TEST_F(CommitOrderTest, AFailedFlushOfTheFolderIsReported) {
  const std::string target = dir.File("t.vty");
  test::WriteFile(target, {7, 7});
  g_failing = "fsync folder";
  EXPECT_EQ(ExpectFileError([&] { Save(target, {1}); }, FileError::Cause::kReplace, target).code,
            EIO);
  EXPECT_EQ(test::ReadFile(target), Bytes{1});
  EXPECT_EQ(dir.Entries(), Calls{"t.vty"});
}

}  // namespace
}  // namespace vantry::platform
#endif
