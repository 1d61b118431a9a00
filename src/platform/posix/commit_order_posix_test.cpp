// The order that makes a replace survive a crash: the temporary's data on disk, then the
// rename, then the folder's entry on disk. A recording file system sees every such call of the
// writer, and can make one fail.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/platform_test_util.h"
#include "support/file_errors.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::Bytes;
using test::ExpectFileError;
using test::TempDir;
using Calls = std::vector<std::string>;

class RecordingFileSystem : public FileSystemWrapper {
 public:
  int SyncFile(NativeHandle file) override {
    return Record("fsync file") ? EIO : FileSystemWrapper::SyncFile(file);
  }
  int SyncFolder(NativeHandle folder) override {
    return Record("fsync folder") ? EIO : FileSystemWrapper::SyncFolder(folder);
  }
  int Rename(NativeHandle folder, const std::string& from, const std::string& to,
             RenameMode mode) override {
    return Record("rename") ? EIO : FileSystemWrapper::Rename(folder, from, to, mode);
  }

  Calls calls;
  std::string failing;  // the call that fails with EIO

 private:
  bool Record(const std::string& call) {
    calls.push_back(call);
    return call == failing;
  }
};

class CommitOrderTest : public ::testing::Test {
 protected:
  void Save(const std::string& target, const Bytes& bytes) {
    AtomicWriter writer(target, test::Through(recorder));
    writer.Write(bytes.data(), bytes.size());
    recorder.calls.clear();
    writer.Commit();
  }

  TempDir dir;
  RecordingFileSystem recorder;
};

TEST_F(CommitOrderTest, DataIsOnDiskBeforeTheRenameAndTheRenameBeforeSuccess) {
  const std::string target = dir.File("t.vty");
  const char* promise = "SECURITY.md: power loss after the flush leaves the previous file";
  Save(target, {1});  // new
  EXPECT_EQ(recorder.calls, (Calls{"fsync file", "rename", "fsync folder"})) << promise;
  Save(target, {2});  // replaced
  EXPECT_EQ(recorder.calls, (Calls{"fsync file", "rename", "fsync folder"})) << promise;
  EXPECT_EQ(test::ReadFile(target), Bytes{2});
}

// A failed flush of the temporary or a failed rename leaves the previous file and no
// temporary; a failed flush of the folder is reported although the new file is in place, as a
// crash could still undo the rename.
TEST_F(CommitOrderTest, AFailureOfAnyStepIsReportedAndLeavesNoTemporary) {
  const struct {
    const char* failing;
    FileError::Cause cause;
    Calls calls;
    Bytes left;
  } cases[] = {
      {"fsync file", FileError::Cause::kClose, {"fsync file"}, {7, 7}},
      {"rename", FileError::Cause::kReplace, {"fsync file", "rename"}, {7, 7}},
      {"fsync folder",
       FileError::Cause::kSyncFolder,
       {"fsync file", "rename", "fsync folder"},
       {1}},
  };
  const std::string target = dir.File("t.vty");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failing);
    test::WriteFile(target, {7, 7});
    recorder.failing = c.failing;
    EXPECT_EQ(ExpectFileError([&] { Save(target, {1}); }, c.cause, target).code, EIO);
    EXPECT_EQ(recorder.calls, c.calls);
    EXPECT_EQ(test::ReadFile(target), c.left);
    EXPECT_EQ(dir.Entries(), Calls{"t.vty"});
  }
}

}  // namespace
}  // namespace vantry::platform
