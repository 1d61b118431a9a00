// A save killed part way leaves its temporary beside the target; the next writer of that target
// removes it, but never a temporary that a live writer still holds, nor anything that only looks
// like one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/platform_test_util.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::Bytes;
using test::TempDir;
using Names = std::vector<std::string>;

void Commit(const std::string& target, const Bytes& bytes) {
  AtomicWriter writer(target);
  writer.Write(bytes.data(), bytes.size());
  writer.Commit();
}

TEST(AbandonedTempTest, TheNextWriterRemovesWhatKilledWritersLeft) {
  TempDir dir;
  const Bytes content{'n', 'e', 'w'};
  test::WriteFile(dir.File("data"), {'o', 'l', 'd'});
  test::WriteFile(dir.File(".data.vantry-0123456789abcdef"), Bytes(5000, 1));
  test::WriteFile(dir.File(".data.vantry-ffffffffffffffff"), {});
  Commit(dir.File("data"), content);
  EXPECT_EQ(test::ReadFile(dir.File("data")), content);
  EXPECT_EQ(dir.Entries(), Names{"data"});
}

TEST(AbandonedTempTest, WhatIsHeldOrOnlyLooksLikeATemporaryStays) {
  TempDir dir;
  const std::string p = ".data.vantry-";
  // Held: a live writer's temporary (its lock is what tells it apart).
  const std::string heldName = p + "1111111111111111";
  test::WriteFile(dir.File(heldName), {7});
  const int held = ::open(dir.File(heldName).c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  test::WriteFile(dir.File("other"), {5});
  enum Kind { kFile, kOpenFile, kFolder, kLink, kFifo, kOtherOwner, kSecondLink };
  const struct {
    std::string name;
    Kind kind;
  } lookAlikes[] = {
      // Names a person gives a backup, one of them open in another program.
      {p + "backup", kOpenFile},
      {p + "2024Q1", kFile},
      {p + "a-b-c-", kFile},
      // One digit short or long, outside the alphabet, another target's, no leading dot.
      {p + "123456789abcdef", kFile},
      {p + "0123456789abcdef0", kFile},
      {p + "0123456789ABCDEF", kFile},
      {p + "0123456789abcdeg", kFile},
      {".datb.vantry-0123456789abcdef", kFile},
      {"data.vantry-0123456789abcdef", kFile},
      {".data.bak-0123456789abcdef", kFile},
      // The exact pattern, but not a temporary of ours.
      {p + "dddddddddddddddd", kFolder},
      {p + "eeeeeeeeeeeeeeee", kLink},
      {p + "4444444444444444", kFifo},
      {p + "2222222222222222", kOtherOwner},
      {p + "3333333333333333", kSecondLink},
  };
  std::vector<int> open;
  for (const auto& entry : lookAlikes) {
    const std::string path = dir.File(entry.name);
    switch (entry.kind) {
      case kFolder:
        ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
        break;
      case kLink:
        ASSERT_EQ(::symlink("data", path.c_str()), 0);
        break;
      case kFifo:
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        break;
      case kSecondLink:
        ASSERT_EQ(::link(dir.File("other").c_str(), path.c_str()), 0);
        break;
      default:
        test::WriteFile(path, {9});
        break;
    }
    if (entry.kind == kOtherOwner && ::chown(path.c_str(), ::geteuid() + 1, ::getegid()) != 0) {
      ASSERT_NE(::geteuid(), 0u) << "root could not give a file away";
      continue;  // an unprivileged run cannot make another user's file: nothing to show
    }
    if (entry.kind == kOpenFile) {
      open.push_back(::open(path.c_str(), O_RDONLY));
    }
  }
  const Names before = dir.Entries();
  Commit(dir.File("data"), {'x'});
  ::close(held);
  for (int fd : open) {
    ::close(fd);
  }

  Names expected = before;
  expected.push_back("data");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Entries(), expected);
  EXPECT_EQ(test::ReadFile(dir.File("data")), Bytes{'x'});
}

TEST(AbandonedTempTest, ATargetWithALongNameFindsItsShortenedTemporaries) {
  TempDir dir;
  const std::string base(240, 'n');
  const std::string stale = "." + std::string(200, 'n') + ".vantry-00000000deadbeef";
  test::WriteFile(dir.File(stale), {1});
  Commit(dir.File(base), {'y'});
  EXPECT_EQ(dir.Entries(), Names{base});
}

// A first save killed at any step leaves no file under the target name, neither empty nor
// partial, so the name does not look taken; the next save removes what it left.
TEST(AbandonedTempTest, AKilledFirstSaveLeavesNoTargetAndItsTemporaryGoesNext) {
  for (WriterStep step :
       {WriterStep::kTargetExamined, WriterStep::kTempCreated, WriterStep::kBeforeRename}) {
    SCOPED_TRACE(static_cast<int>(step));
    TempDir dir;
    const std::string target = dir.File("notes.vty");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      test::SteppingFileSystem killing([step](WriterStep now) {
        if (now == step) {
          ::kill(::getpid(), SIGKILL);
        }
      });
      AtomicWriter writer(target, test::Through(killing));
      writer.Write(Bytes(1000, 1).data(), 1000);
      writer.Commit();
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(test::FileExists(target));
    EXPECT_LE(dir.Entries().size(), 1u);
    Commit(target, {'x'});
    EXPECT_EQ(dir.Entries(), Names{"notes.vty"});
  }
}

TEST(AbandonedTempTest, NothingIsVisibleUnderANewTargetsNameBeforeCommit) {
  TempDir dir;
  const std::string target = dir.File("notes.vty");
  std::vector<bool> seen;
  test::SteppingFileSystem looking([&](WriterStep) { seen.push_back(test::FileExists(target)); });
  AtomicWriter writer(target, test::Through(looking));
  writer.Write("abc", 3);
  writer.Commit();
  EXPECT_EQ(seen, (std::vector<bool>{false, false, false}));
  EXPECT_EQ(test::ReadFile(target), (Bytes{'a', 'b', 'c'}));
}

}  // namespace
}  // namespace vantry::platform
