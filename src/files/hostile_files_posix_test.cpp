// The file operations against a second local user and in folders the caller cannot write: the
// writer's rules seen from the operations that use it. The other user is a forked child that
// dropped to an unprivileged id.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "files/files_test_util.h"
#include "support/other_user.h"

namespace vantry::test {
namespace {

namespace fs = std::filesystem;

const Bytes kRootOnly{'r', 'o', 'o', 't'};

class HostileFilesTest : public ::testing::TestWithParam<WritingOperation> {
 protected:
  void SetUp() override {
    WriteFile(dir.File("plain"), PatternBytes(1000));
    cipher->EncryptFile(dir.File("plain"), dir.File("protected"));
    fs::permissions(dir.path(), fs::perms(0755));
    fs::permissions(dir.File("plain"), fs::perms(0644));
    fs::permissions(dir.File("protected"), fs::perms(0644));
  }

  TempDir dir;
  std::unique_ptr<CRijndaelCipher> cipher = EntryCipher();
};

// Plain text is for its owner alone; a protected file is created as any other file.
TEST_P(HostileFilesTest, ANewPlainTextOutputIsOwnerOnly) {
  GetParam().run(*cipher, dir, dir.File("new"));
  const fs::perms perms = fs::status(dir.File("new")).permissions();
  if (GetParam().plainOutput) {
    EXPECT_EQ(perms, fs::perms::owner_read | fs::perms::owner_write);
  } else {
    EXPECT_NE(perms & fs::perms::owner_read, fs::perms::none);
  }
}

TEST_P(HostileFilesTest, ALinkAnotherUserPlantedInASharedFolderIsRefused) {
  if (!CanActAsOtherUser()) {
    GTEST_SKIP() << "acting as a second user needs root";
  }
  const std::string secret = dir.File("secret");
  WriteFile(secret, kRootOnly);
  fs::permissions(secret, fs::perms(0600));
  const std::string shared = dir.File("shared");
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms(01777));
  const std::string target = shared + "/out";
  ASSERT_TRUE(AsOtherUser([&] {
    std::error_code ec;
    fs::create_symlink(secret, target, ec);
    return !ec;
  }));
  const WritingOperation& op = GetParam();
  if (op.name == std::string("EncryptFileStream") || op.name == std::string("DecryptFileStream")) {
    EXPECT_EQ(MessageOf([&] { op.run(*cipher, dir, target); }), CannotOpen(target));
  } else {
    ExpectFileError([&] { op.run(*cipher, dir, target); }, FileError::Cause::kCreate, target);
  }
  EXPECT_EQ(ReadFile(secret), kRootOnly);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(target)));
}

// The other user's own file in a folder only root may write: no temporary can be made there,
// so the file is rewritten in place, as a host whose data file sits in such a folder needs.
TEST_P(HostileFilesTest, AWritableFileInAFolderTheCallerCannotWriteIsRewritten) {
  if (!CanActAsOtherUser()) {
    GTEST_SKIP() << "acting as a second user needs root";
  }
  const std::string folder = dir.File("app");
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms(0755));
  const std::string data = folder + "/data";
  WriteFile(data, PatternBytes(5000, 3));
  ASSERT_EQ(std::system(("chown 65534:65534 '" + data + "'").c_str()), 0);
  EXPECT_TRUE(AsOtherUser([&] {
    GetParam().run(*cipher, dir, data);
    return true;
  }));
  const Bytes expected = PatternBytes(1000);
  const Bytes padded = Concat(expected, Fill(1000, 16, PAD_ZERO));
  if (GetParam().plainOutput) {
    EXPECT_EQ(ReadFile(data), GetParam().name == std::string("DecryptFile")
                                  ? Concat(padded, Bytes(32, 0))
                                  : padded);
  } else {
    EXPECT_EQ(ReadFile(data), ReadFile(dir.File("protected")));
  }
  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator(folder)) {
    entries.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(entries, std::vector<std::string>{"data"});
}

INSTANTIATE_TEST_SUITE_P(EveryWritingOperation, HostileFilesTest,
                         ::testing::ValuesIn(WritingOperations(1000)),
                         [](const ::testing::TestParamInfo<WritingOperation>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace vantry::test
