#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/file.h"
#include "platform/platform_test_util.h"
#include "support/file_errors.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::Bytes;
using test::ExpectFileError;
using test::TempDir;
using Cause = FileError::Cause;
using Names = std::vector<std::string>;

// A temporary's mode: an unnamed one is reached through its link in /proc.
mode_t TempModeOf(const std::string& name) {
  struct stat info {};
  EXPECT_EQ(::stat(name.c_str(), &info), 0) << name;
  return info.st_mode;
}

mode_t ModeOf(const std::string& name) {
  struct stat info {};
  EXPECT_EQ(::lstat(name.c_str(), &info), 0) << name;
  return info.st_mode;
}

// Root ignores permission bits, so a root test run acts as "nobody" while it meets a
// read-only directory; the saved user id lets it return to root afterwards.
class ActAsUnprivileged {
 public:
  ActAsUnprivileged() : m_switched(::geteuid() == 0 && ::seteuid(65534) == 0) {}
  ~ActAsUnprivileged() {
    if (m_switched) {
      EXPECT_EQ(::seteuid(0), 0);
    }
  }
  bool ok() const { return m_switched || ::geteuid() != 0; }

 private:
  bool m_switched;
};

TEST(AtomicWriterPosixTest, FailuresCarryTheSystemsText) {
  TempDir dir;
  const std::string held = dir.File("held.bin");
  test::WriteFile(held, Bytes{1});
  ExclusiveReader holder(held);
  const struct {
    std::string name;
    const char* text;
  } cases[] = {
      {dir.File("none/out.bin"), "No such file or directory"},
      {dir.path(), "Is a directory"},
      {held, "Resource temporarily unavailable"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpectFileError([&] { AtomicWriter w(c.name); }, Cause::kCreate, c.name).what,
              "cannot create file " + c.name + ": " + c.text);
  }
  EXPECT_EQ(dir.Entries(), Names{"held.bin"});

  const std::string name = dir.File("out.bin");
  DiskFullFileSystem disk(10);
  AtomicWriter writer(name, test::Through(disk));
  EXPECT_EQ(ExpectFileError([&] { writer.Write("0123456789A", 11); }, Cause::kWrite, name).what,
            "cannot write file " + name + ": No space left on device");
}

TEST(AtomicWriterPosixTest, AReadOnlyDirectoryRefusesNewTargetsAndRewritesWritableOnesInPlace) {
  TempDir dir;
  const std::string existing = dir.File("old.bin");
  const std::string locked = dir.File("locked.bin");
  test::WriteFile(existing, Bytes{7, 7});
  test::WriteFile(locked, Bytes{8});
  ASSERT_EQ(::chmod(existing.c_str(), 0666), 0);  // the file itself is writable
  ASSERT_EQ(::chmod(locked.c_str(), 0644), 0);    // this one is not
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
  {
    ActAsUnprivileged unprivileged;
    if (!unprivileged.ok()) {
      GTEST_SKIP() << "running as root and cannot switch to an unprivileged user";
    }
    for (const std::string& name : {dir.File("new.bin"), locked}) {
      SCOPED_TRACE(name);
      EXPECT_EQ(ExpectFileError([&] { AtomicWriter w(name); }, Cause::kCreate, name).code, EACCES);
    }
    // A caller that did not ask for the in-place rewrite gets the folder's refusal instead.
    EXPECT_EQ(ExpectFileError([&] { AtomicWriter w(existing, OutputContents::kProtected, false); },
                              Cause::kCreate, existing)
                  .code,
              EACCES);
    EXPECT_EQ(test::ReadFile(existing), (Bytes{7, 7}));
    AtomicWriter writer(existing);
    EXPECT_TRUE(writer.InPlace());
    EXPECT_EQ(writer.TempName(), "");
    EXPECT_EQ(test::ReadFile(existing), (Bytes{7, 7}));  // untouched until the first byte
    writer.Write("abc", 3);
    writer.Commit();
  }
  EXPECT_EQ(test::ReadFile(existing), (Bytes{'a', 'b', 'c'}));
  EXPECT_EQ(test::ReadFile(locked), Bytes{8});
  EXPECT_EQ(ModeOf(existing) & 0777, 0666u);
  EXPECT_EQ(dir.Entries(), (Names{"locked.bin", "old.bin"}));
}

TEST(AtomicWriterPosixTest, TheReplacementKeepsTheTargetsMode) {
  TempDir dir;
  const mode_t oldMask = ::umask(027);
  {
    AtomicWriter writer(dir.File("new.bin"));
    writer.Commit();
  }
  ::umask(oldMask);
  EXPECT_EQ(ModeOf(dir.File("new.bin")) & 0777, 0640u);  // as a plain create would give

  const std::string existing = dir.File("shared.bin");
  test::WriteFile(existing, Bytes{1});
  ASSERT_EQ(::chmod(existing.c_str(), 0604), 0);
  AtomicWriter writer(existing);
  EXPECT_EQ(TempModeOf(writer.TempName()) & 0777, 0604u);
  writer.Commit();
  EXPECT_EQ(ModeOf(existing) & 0777, 0604u);
}

// Plain text is for its owner alone, whatever the umask; a protected file is cipher text and is
// created as any other file. Replacing an existing file keeps its mode either way.
TEST(AtomicWriterPosixTest, NewPlainTextIsOwnerOnlyAndProtectedFilesFollowTheUmask) {
  TempDir dir;
  const mode_t oldMask = ::umask(0);
  const struct {
    const char* name;
    OutputContents contents;
    mode_t mode;
  } cases[] = {{"plain.txt", OutputContents::kPlainText, 0600},
               {"protected.vty", OutputContents::kProtected, 0666}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AtomicWriter writer(dir.File(c.name), c.contents);
    EXPECT_EQ(TempModeOf(writer.TempName()) & 0777, c.mode);  // also while it is written
    writer.Write("x", 1);
    writer.Commit();
    EXPECT_EQ(ModeOf(dir.File(c.name)) & 0777, c.mode);
  }
  ::umask(oldMask);
  ASSERT_EQ(::chmod(dir.File("plain.txt").c_str(), 0644), 0);
  AtomicWriter writer(dir.File("plain.txt"), OutputContents::kPlainText);
  writer.Commit();
  EXPECT_EQ(ModeOf(dir.File("plain.txt")) & 0777, 0644u);
}

TEST(AtomicWriterPosixTest, ASymlinkedTargetIsReplacedWhereItPoints) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.File("real").c_str(), 0700), 0);
  const std::string real = dir.File("real/data.bin");
  test::WriteFile(real, Bytes(50, 1));
  ASSERT_EQ(::symlink("real/data.bin", dir.File("link.bin").c_str()), 0);
  {
    AtomicWriter writer(dir.File("link.bin"));
    writer.Write("new", 3);
    writer.Commit();
  }
  EXPECT_TRUE(S_ISLNK(ModeOf(dir.File("link.bin"))));
  EXPECT_EQ(test::ReadFile(real), (Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(dir.Entries(), (Names{"link.bin", "real"}));
}

// The target examined as a regular file is swapped for a link before it is opened: the open
// must not follow it (O_NOFOLLOW), or the writer would lock and take over the owner and mode of
// whatever file the link leads to. The name is examined again and the link judged as a link.
TEST(AtomicWriterPosixTest, ATargetSwappedForALinkAfterTheExaminationIsJudgedAsALink) {
  TempDir dir;
  const std::string target = dir.File("data.bin");
  const std::string elsewhere = dir.File("elsewhere.bin");
  test::WriteFile(target, Bytes{1});
  test::WriteFile(elsewhere, Bytes{2});
  ASSERT_EQ(::chmod(elsewhere.c_str(), 0604), 0);
  bool swapped = false;
  test::SteppingFileSystem swapping([&](WriterStep step) {
    if (step == WriterStep::kTargetExamined && !swapped) {
      swapped = ::unlink(target.c_str()) == 0 && ::symlink("elsewhere.bin", target.c_str()) == 0;
    }
  });
  {
    AtomicWriter writer(target, test::Through(swapping));
    writer.Write("new", 3);
    writer.Commit();
  }
  ASSERT_TRUE(swapped);
  EXPECT_TRUE(S_ISLNK(ModeOf(target))) << "the target's open followed a link (O_NOFOLLOW)";
  EXPECT_EQ(test::ReadFile(elsewhere), (Bytes{'n', 'e', 'w'}));
}

TEST(AtomicWriterPosixTest, OnlyRegularFilesAreReplaced) {
  TempDir dir;
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Neither is even opened: a FIFO would wait for a reader, and opening a device can act on it.
  // Refused outright, so no one can replace /dev/null with a file.
  EXPECT_EQ(ExpectFileError([&] { AtomicWriter w(fifo); }, Cause::kCreate, fifo).code, EINVAL);
  EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));
  EXPECT_EQ(ExpectFileError([&] { AtomicWriter w("/dev/null"); }, Cause::kCreate, "/dev/null").code,
            EINVAL);
  EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null")));
}

TEST(AtomicWriterPosixTest, ALongTargetNameStillGetsATemporary) {
  TempDir dir;
  const std::string name = dir.File(std::string(255, 'n'));
  AtomicWriter writer(name);
  writer.Write("x", 1);
  writer.Commit();
  EXPECT_EQ(test::ReadFile(name), Bytes{'x'});
  EXPECT_EQ(dir.Entries().size(), 1u);
}

// Mounts a 64 KiB tmpfs on a folder for the life of the object.
class TinyDisk {
 public:
  explicit TinyDisk(const std::string& path) : m_path(path) {
    m_mounted =
        ::geteuid() == 0 &&
        std::system(("mount -t tmpfs -o size=64k tmpfs '" + path + "' 2>/dev/null").c_str()) == 0;
  }
  ~TinyDisk() {
    if (m_mounted) {
      EXPECT_EQ(std::system(("umount '" + m_path + "'").c_str()), 0);
    }
  }
  bool mounted() const { return m_mounted; }

 private:
  std::string m_path;
  bool m_mounted;
};

TEST(AtomicWriterPosixTest, ARealFullDiskLeavesThePreviousFileAndNoTemporary) {
  TempDir dir;
  const std::string mountPoint = dir.File("disk");
  ASSERT_EQ(::mkdir(mountPoint.c_str(), 0700), 0);
  TinyDisk disk(mountPoint);
  if (!disk.mounted()) {
    GTEST_SKIP() << "needs root and mount(2) to put a 64 KiB tmpfs on " << mountPoint;
  }
  const std::string name = mountPoint + "/prev.bin";
  std::mt19937_64 rng(3);
  const Bytes old = test::RandomBytes(rng, 20000);
  test::WriteFile(name, old);
  const Bytes piece = test::RandomBytes(rng, 4096);
  std::size_t written = 0;
  {
    AtomicWriter writer(name);
    const int error = ExpectFileError(
                          [&] {
                            for (;;) {
                              writer.Write(piece.data(), piece.size());
                              written += piece.size();
                            }
                          },
                          Cause::kWrite, name)
                          .code;
    EXPECT_EQ(error, ENOSPC);
  }
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, 65536u);
  EXPECT_EQ(test::ReadFile(name), old);
  std::error_code ec;
  Names entries;
  for (const auto& e : std::filesystem::directory_iterator(mountPoint, ec)) {
    entries.push_back(e.path().filename().string());
  }
  EXPECT_EQ(entries, Names{"prev.bin"});
}

}  // namespace
}  // namespace vantry::platform
