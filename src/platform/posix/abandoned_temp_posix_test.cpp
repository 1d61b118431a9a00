// A save killed part way leaves its temporary beside the target; the next writer of that target
// removes it, but never a temporary that a live writer still holds, nor anything that only looks
// like one.
#ifndef _WIN32
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file.h"
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
  test::WriteFile(dir.File(".data.vantry-Ab3dE9"), Bytes(5000, 1));
  test::WriteFile(dir.File(".data.vantry-zzzzzz"), {});
  Commit(dir.File("data"), content);
  EXPECT_EQ(test::ReadFile(dir.File("data")), content);
  EXPECT_EQ(dir.Entries(), Names{"data"});
}

TEST(AbandonedTempTest, WhatIsHeldOrOnlyLooksLikeATemporaryStays) {
  TempDir dir;
  // Held: a live writer's temporary (its lock is what tells it apart).
  test::WriteFile(dir.File(".data.vantry-Held00"), {7});
  const int held = ::open(dir.File(".data.vantry-Held00").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  // Look-alikes: another target's temporary, wrong lengths, no leading dot, a folder, a link.
  const Names lookAlikes{".data.vantry-12345", ".data.vantry-1234567", ".datb.vantry-Ab3dE9",
                         "data.vantry-Ab3dE9", ".data.vantry-Dir000",  ".data.vantry-Link00",
                         ".data.bak-Ab3dE9ab"};
  for (const auto& name : lookAlikes) {
    if (name == ".data.vantry-Dir000") {
      ASSERT_EQ(::mkdir(dir.File(name).c_str(), 0700), 0);
    } else if (name == ".data.vantry-Link00") {
      ASSERT_EQ(::symlink("data", dir.File(name).c_str()), 0);
    } else {
      test::WriteFile(dir.File(name), {9});
    }
  }
  Commit(dir.File("data"), {'x'});
  ::close(held);

  Names expected = lookAlikes;
  expected.push_back(".data.vantry-Held00");
  expected.push_back("data");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Entries(), expected);
  EXPECT_EQ(test::ReadFile(dir.File("data")), Bytes{'x'});
}

TEST(AbandonedTempTest, ATargetWithALongNameFindsItsShortenedTemporaries) {
  TempDir dir;
  const std::string base(240, 'n');
  const std::string stale = "." + std::string(200, 'n') + ".vantry-Ab3dE9";
  test::WriteFile(dir.File(stale), {1});
  Commit(dir.File(base), {'y'});
  EXPECT_EQ(dir.Entries(), Names{base});
}

}  // namespace
}  // namespace vantry::platform
#endif  // _WIN32
