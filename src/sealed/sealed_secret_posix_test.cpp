// A file sealed with root's account secret, tried by another local user (uid 65534): the
// secret file cannot be read, and with a secret of its own the file says it was sealed for
// another account.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>

#include "sealed/sealed_test_util.h"
#include "support/other_user.h"

namespace vantry::test {
namespace {

TEST(SealedSecretTest, AnotherUserCannotUnsealRootsAccountFile) {
  if (!CanActAsOtherUser()) {
    GTEST_SKIP() << "acting as a second user needs root";
  }
  TempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  const std::string rootData = dir.File("root"), otherData = dir.File("other");
  std::filesystem::create_directory(otherData);
  ASSERT_EQ(::chown(otherData.c_str(), kOtherUserId, kOtherUserId), 0);
  ASSERT_EQ(::setenv("XDG_DATA_HOME", rootData.c_str(), 1), 0);
  const Bytes plain = Pattern(70000);
  const Bytes file = Sealed(SealedKey::AccountSecret(), plain);
  MemoryReader input(file);
  MemoryWriter own;
  UnsealStream(SealedKey::AccountSecret(), input, "f", own);
  EXPECT_EQ(own.written, plain);

  const auto unsealAs = [&](const std::string& data, SealedError::Kind expected) {
    return AsOtherUser([&] {
      ::setenv("XDG_DATA_HOME", data.c_str(), 1);
      MemoryReader in(file);
      MemoryWriter out;
      try {
        UnsealStream(SealedKey::AccountSecret(), in, "f", out);
      } catch (const SealedError& e) {
        return e.kind() == expected && out.written.empty();
      }
      return false;
    });
  };
  // Root's folder and secret are closed to others; the other user's own secret is another.
  EXPECT_TRUE(unsealAs(rootData, SealedError::Kind::kSecretUnavailable));
  EXPECT_TRUE(unsealAs(otherData, SealedError::Kind::kOtherAccount));
  EXPECT_TRUE(AsOtherUser([&] {
    FILE* f = std::fopen((rootData + "/vantry/account-secret").c_str(), "rb");
    return f == nullptr;
  }));
  ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace vantry::test
