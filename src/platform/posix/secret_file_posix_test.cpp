// The sealing secret's file: created 0600 in a 0700 folder, never replaced once published (a
// competitor that publishes first wins, and both read its secret), and refused when it could
// have been read or planted by someone else.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform_test_util.h"
#include "platform/secret_file.h"
#include "support/test_support.h"
#include "vantry/file_error.h"

namespace vantry::platform {
namespace {

using test::Bytes;

Bytes Read(const std::string& path) {
  Bytes b(kSecretSize);
  EXPECT_TRUE(ReadSecretFile(path, false, b.data()));
  return b;
}

unsigned Mode(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(SecretFileTest, ACompetitorThatPublishesFirstWinsAndBothReadItsSecret) {
  test::TempDir dir;
  const std::string path = dir.File("data/vantry/account-secret");
  Bytes missing(kSecretSize);
  EXPECT_FALSE(ReadSecretFile(path, false, missing.data()));
  Bytes competitor(kSecretSize), ours(kSecretSize);
  // The competitor runs the whole creation between our temporary's write and its rename.
  test::SteppingFileSystem racing([&](WriterStep step) {
    if (step == WriterStep::kBeforeRename) {
      ASSERT_TRUE(ReadSecretFile(path, true, competitor.data()));
    }
  });
  ASSERT_TRUE(ReadSecretFile(path, true, ours.data(), &racing));
  EXPECT_EQ(ours, competitor);
  EXPECT_EQ(Read(path), competitor);
  EXPECT_EQ(Mode(path), 0600u);
  EXPECT_EQ(Mode(dir.File("data/vantry")), 0700u);
  EXPECT_EQ(Mode(dir.File("data")), 0700u);
  // Neither temporary is left behind.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("data/vantry"))) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"account-secret"});
}

TEST(SecretFileTest, AFileOthersCouldReadOrPlantIsRefused) {
  test::TempDir dir;
  const std::string good = dir.File("good");
  Bytes secret(kSecretSize);
  ASSERT_TRUE(ReadSecretFile(good, true, secret.data()));
  const std::string readable = dir.File("readable"), shortFile = dir.File("short"),
                    link = dir.File("link");
  test::WriteFile(readable, Bytes(kSecretSize, 1));
  ::chmod(readable.c_str(), 0640);
  test::WriteFile(shortFile, Bytes(kSecretSize - 1, 1));
  ::chmod(shortFile.c_str(), 0600);
  ASSERT_EQ(::symlink(good.c_str(), link.c_str()), 0);
  for (const std::string& path : {readable, shortFile, link}) {
    EXPECT_THROW(ReadSecretFile(path, true, secret.data()), SecretFileError) << path;
  }
  EXPECT_EQ(test::ReadFile(readable), Bytes(kSecretSize, 1));  // never replaced
}

}  // namespace
}  // namespace vantry::platform
