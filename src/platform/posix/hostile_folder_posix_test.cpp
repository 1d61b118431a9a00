// The writer against another local user who plants names in a folder both can write (/tmp),
// and in folders the caller cannot write. The other user is a forked child that dropped to an
// unprivileged id; where a race matters, the writer's test seam lets the child act at the
// exact step in between, so every run plays the race the same way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/platform_test_util.h"
#include "support/file_errors.h"
#include "support/other_user.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::AsOtherUser;
using test::Bytes;
using test::ExpectFileError;
using test::kOtherUserId;
using test::TempDir;
using Cause = FileError::Cause;
using Names = std::vector<std::string>;

const Bytes kSecret{'r', 'o', 'o', 't', ' ', 'o', 'n', 'l', 'y'};
const Bytes kNew{'n', 'e', 'w'};

void Save(const std::string& target, const Bytes& bytes,
          OutputContents contents = OutputContents::kProtected,
          FileSystem& fileSystem = SystemFileSystem()) {
  AtomicWriter writer(target, test::Through(fileSystem, contents));
  writer.Write(bytes.data(), bytes.size());
  writer.Commit();
}

Names EntriesOf(const std::string& folder) {
  Names entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    entries.push_back(entry.path().filename().string());
  }
  return entries;
}

bool IsLink(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// A root-only file beside a sticky folder that everyone may write, as /tmp is.
class HostileFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::CanActAsOtherUser()) {
      GTEST_SKIP() << "acting as a second user needs root";
    }
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    test::WriteFile(secret, kSecret);
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  }

  // The other user plants a link at the target, pointing at the root-only file.
  bool PlantLink() const {
    return AsOtherUser([&] { return ::symlink(secret.c_str(), target.c_str()) == 0; });
  }
  bool PlantFile() const {
    return AsOtherUser([&] {
      ::umask(0);
      const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
      return fd >= 0 && ::close(fd) == 0;
    });
  }
  bool OtherUserCanRead(const std::string& path) const {
    return AsOtherUser([&] {
      const int fd = ::open(path.c_str(), O_RDONLY);
      return fd >= 0 && ::close(fd) == 0;
    });
  }

  TempDir dir;
  std::string secret = dir.File("secret");
  std::string shared = dir.File("shared");
  std::string target = dir.File("shared/notes.vty");
};

// A hard link to a root file elsewhere (which the other user can make where
// fs.protected_hardlinks is off): replacing it would give root's plain text that file's mode.
TEST_F(HostileFolderTest, ASecondNameInASharedFolderIsRefused) {
  const std::string published = dir.File("published");
  test::WriteFile(published, kSecret);
  ASSERT_EQ(::chmod(published.c_str(), 0644), 0);
  ASSERT_EQ(::link(published.c_str(), target.c_str()), 0);
  EXPECT_EQ(ExpectFileError([&] { Save(target, kNew, OutputContents::kPlainText); }, Cause::kCreate,
                            target)
                .code,
            EACCES);
  EXPECT_EQ(test::ReadFile(target), kSecret);
}

// What another user plants at the name root is about to use, in a sticky folder that everyone
// may write (/tmp) or only a group (mode 1770): the kernel's strict protected_* rules cover
// both. Planted before the examination, it is refused; planted after it (the writer's seam),
// new plain text is still never put in its place, nor written through it. Reads follow the
// same rule: root's file never goes out through another user's link.
TEST_F(HostileFolderTest, NamesPlantedInSharedStickyFoldersAreNeverUsed) {
  enum When { kBefore, kAfterTheCheck, kRead };
  const struct {
    bool link;
    When when;
    int error;
  } cases[] = {{true, kBefore, EACCES},
               {false, kBefore, EACCES},
               {true, kAfterTheCheck, EEXIST},
               {false, kAfterTheCheck, EEXIST},
               {true, kRead, EACCES}};
  // 1770: the group is the other user's own, so he writes the folder as a member only.
  for (const mode_t folderMode : {01777, 01770}) {
    ASSERT_EQ(::chown(shared.c_str(), 0, folderMode == 01770 ? kOtherUserId : 0), 0);
    ASSERT_EQ(::chmod(shared.c_str(), folderMode), 0);
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << std::oct << folderMode << ", case " << (&c - cases));
      bool planted = false;
      auto plant = [&] { planted = c.link ? PlantLink() : PlantFile(); };
      test::SteppingFileSystem racing([&](WriterStep step) {
        if (step == WriterStep::kTargetExamined && c.when == kAfterTheCheck) plant();
      });
      if (c.when != kAfterTheCheck) plant();
      const Cause cause = c.when == kRead     ? Cause::kOpen
                          : c.when == kBefore ? Cause::kCreate
                                              : Cause::kReplace;
      EXPECT_EQ(ExpectFileError(
                    [&] {
                      if (c.when == kRead) {
                        ExclusiveReader r(target);
                      } else {
                        Save(target, kNew, OutputContents::kPlainText, racing);
                      }
                    },
                    cause, target)
                    .code,
                c.error);
      EXPECT_TRUE(planted);
      EXPECT_EQ(test::ReadFile(secret), kSecret);
      unsigned owner = 0, mode = 0;  // what was planted stays as it was, and stays theirs
      ASSERT_TRUE(test::OwnerAndMode(target, &owner, &mode));
      EXPECT_EQ(owner, kOtherUserId);
      EXPECT_TRUE(c.link || test::ReadFile(target).empty());
      EXPECT_EQ(EntriesOf(shared), Names{"notes.vty"});  // no temporary left
      ASSERT_EQ(::unlink(target.c_str()), 0);
    }
  }
}

TEST_F(HostileFolderTest, LinksOfTheCallerOrTheFolderOwnerAreFollowedAsBefore) {
  const std::string real = dir.File("real");
  test::WriteFile(real, Bytes{1});
  ASSERT_EQ(::symlink(real.c_str(), target.c_str()), 0);  // the caller's own link
  Save(target, kNew);
  EXPECT_TRUE(IsLink(target));
  EXPECT_EQ(test::ReadFile(real), kNew);

  // The other user's link in his own sticky folder: the kernel follows it too.
  ASSERT_EQ(::unlink(target.c_str()), 0);
  ASSERT_EQ(::chown(shared.c_str(), kOtherUserId, kOtherUserId), 0);
  ASSERT_TRUE(AsOtherUser([&] { return ::symlink(real.c_str(), target.c_str()) == 0; }));
  Save(target, kSecret);
  EXPECT_TRUE(IsLink(target));
  EXPECT_EQ(test::ReadFile(real), kSecret);
}

// Relative links resolve from the link's folder, and chains of links are followed link by
// link, each judged in its own folder.
TEST_F(HostileFolderTest, ARelativeLinkToAnotherUsersLinkIsRefusedAtTheSecondHop) {
  const std::string hop = dir.File("hop");
  ASSERT_EQ(::symlink("shared/notes.vty", hop.c_str()), 0);  // the caller's, outside /tmp
  ASSERT_TRUE(PlantLink());
  EXPECT_EQ(ExpectFileError([&] { Save(hop, kNew); }, Cause::kCreate, hop).code, EACCES);
  EXPECT_EQ(test::ReadFile(secret), kSecret);
}

TEST_F(HostileFolderTest, OutsideStickyFoldersAnotherUsersFileKeepsItsOwnerAndMode) {
  const std::string plain = dir.File("theirs");
  test::WriteFile(plain, Bytes{1});
  ASSERT_EQ(::chown(plain.c_str(), kOtherUserId, kOtherUserId), 0);
  ASSERT_EQ(::chmod(plain.c_str(), 0640), 0);
  Save(plain, kNew);
  unsigned owner = 0;
  unsigned mode = 0;
  ASSERT_TRUE(test::OwnerAndMode(plain, &owner, &mode));
  EXPECT_EQ(owner, kOtherUserId);
  EXPECT_EQ(mode, 0640u);
}

// An access ACL in the kernel's xattr form: version 2, then (tag, permissions, id) entries in
// tag order. Owner rw-, user kOtherUserId rw-, owning group ---, mask rw-, others ---.
Bytes AccessAcl() {
  Bytes acl{2, 0, 0, 0};
  auto entry = [&acl](unsigned tag, unsigned perm, std::uint32_t id) {
    const unsigned char e[8] = {
        static_cast<unsigned char>(tag),      0,
        static_cast<unsigned char>(perm),     0,
        static_cast<unsigned char>(id),       static_cast<unsigned char>(id >> 8),
        static_cast<unsigned char>(id >> 16), static_cast<unsigned char>(id >> 24)};
    acl.insert(acl.end(), e, e + 8);
  };
  entry(0x01, 6, 0xFFFFFFFFu);   // user::rw-
  entry(0x02, 6, kOtherUserId);  // user:65534:rw-
  entry(0x04, 0, 0xFFFFFFFFu);   // group::---
  entry(0x10, 6, 0xFFFFFFFFu);   // mask::rw-
  entry(0x20, 0, 0xFFFFFFFFu);   // other::---
  return acl;
}

Bytes Attribute(const std::string& path, const char* name) {
  Bytes value(4096);
  const ssize_t n = ::getxattr(path.c_str(), name, value.data(), value.size());
  value.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
  return value;
}

// With an ACL the group bits are the mask: a replace that kept only the mode would hand the
// owning group the mask's rights and take the named user's away.
TEST_F(HostileFolderTest, AReplacedFileKeepsItsAclAndExtendedAttributes) {
  const std::string file = dir.File("acl.vty");
  test::WriteFile(file, Bytes{1});
  const Bytes acl = AccessAcl();
  if (::setxattr(file.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0) {
    GTEST_SKIP() << "the file system of " << file << " has no POSIX ACLs";
  }
  ASSERT_EQ(::setxattr(file.c_str(), "user.origin", "host", 4, 0), 0);
  unsigned owner = 0;
  unsigned mode = 0;
  ASSERT_TRUE(test::OwnerAndMode(file, &owner, &mode));
  ASSERT_EQ(mode, 0660u);
  ASSERT_TRUE(OtherUserCanRead(file));

  for (auto contents : {OutputContents::kProtected, OutputContents::kPlainText}) {
    Save(file, kNew, contents);
    EXPECT_EQ(Attribute(file, "system.posix_acl_access"), acl);
    EXPECT_EQ(Attribute(file, "user.origin"), (Bytes{'h', 'o', 's', 't'}));
    ASSERT_TRUE(test::OwnerAndMode(file, &owner, &mode));
    EXPECT_EQ(mode, 0660u);
    EXPECT_TRUE(OtherUserCanRead(file));  // the user the ACL names
  }
  EXPECT_EQ(test::ReadFile(file), kNew);
}

// A folder's default ACL gives new files an ACL; a file that had none must not gain one by
// being replaced.
TEST_F(HostileFolderTest, AReplacedFileWithoutAclGainsNoneFromTheFolder) {
  const std::string folder = dir.File("acl-folder");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  const std::string file = folder + "/plain.vty";
  test::WriteFile(file, Bytes{1});
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  const Bytes acl = AccessAcl();
  if (::setxattr(folder.c_str(), "system.posix_acl_default", acl.data(), acl.size(), 0) != 0) {
    GTEST_SKIP() << "the file system of " << folder << " has no POSIX ACLs";
  }
  Save(file, kNew);
  EXPECT_EQ(Attribute(file, "system.posix_acl_access"), Bytes{});
  EXPECT_FALSE(OtherUserCanRead(file));
}

// A folder where names can be added but not removed (chattr +a): the commit's rename fails,
// and the temporary's name cannot be taken back: what stays under it holds no plain text.
TEST_F(HostileFolderTest, AFailedCommitInAnAppendOnlyFolderLeavesNoPlainText) {
  const std::string folder = dir.File("append-only");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  const std::string out = folder + "/out.txt";
  test::WriteFile(out, kSecret);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 ||
      (flags |= FS_APPEND_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)) {
    ::close(fd);
    GTEST_SKIP() << "the file system of " << folder << " has no append-only folders";
  }
  EXPECT_EQ(ExpectFileError([&] { Save(out, Bytes(100000, 'p'), OutputContents::kPlainText); },
                            Cause::kReplace, out)
                .code,
            EPERM);
  flags &= ~FS_APPEND_FL;
  ASSERT_EQ(::ioctl(fd, FS_IOC_SETFLAGS, &flags), 0);
  ::close(fd);
  EXPECT_EQ(test::ReadFile(out), kSecret);
  for (const std::string& name : EntriesOf(folder)) {
    EXPECT_EQ(name == "out.txt" || test::ReadFile(folder + "/" + name).empty(), true) << name;
  }
}

// The second user's own data file in a folder only root may write: no temporary can be made,
// so the file is rewritten in place; a new file there still fails.
TEST_F(HostileFolderTest, AWritableFileInAFolderTheCallerCannotWriteIsRewrittenInPlace) {
  const std::string folder = dir.File("app");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  const std::string data = folder + "/data.vty";
  test::WriteFile(data, Bytes(100, 7));
  ASSERT_EQ(::chown(data.c_str(), kOtherUserId, kOtherUserId), 0);
  ASSERT_EQ(::chmod(data.c_str(), 0640), 0);
  EXPECT_TRUE(AsOtherUser([&] {
    AtomicWriter writer(data);
    if (!writer.InPlace()) {
      return false;
    }
    writer.Write(kNew.data(), kNew.size());
    writer.Commit();
    return true;
  }));
  EXPECT_EQ(test::ReadFile(data), kNew);
  unsigned owner = 0;
  unsigned mode = 0;
  ASSERT_TRUE(test::OwnerAndMode(data, &owner, &mode));
  EXPECT_EQ(owner, kOtherUserId);
  EXPECT_EQ(mode, 0640u);
  EXPECT_TRUE(AsOtherUser([&] {
    try {
      AtomicWriter writer(folder + "/new.vty");
    } catch (const FileError& e) {
      return e.code().value() == EACCES;
    }
    return false;
  }));
  EXPECT_EQ(EntriesOf(folder), Names{"data.vty"});
}

}  // namespace
}  // namespace vantry::platform
