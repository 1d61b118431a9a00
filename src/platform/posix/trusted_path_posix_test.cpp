// What another local user (a child at uid 65534) can plant on the way to a file the library
// trusts, and what the trusted open makes of it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "platform/trusted_path.h"
#include "support/other_user.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::AsOtherUser;

bool Plant(const std::string& path) { return test::WriteFile(path, {'k'}), true; }
void Folder(const std::string& path, unsigned mode) {
  ::mkdir(path.c_str(), 0);
  ::chmod(path.c_str(), mode);  // whatever the umask
}

TEST(TrustedPathTest, WhatAnotherUserCanChangeOnTheWayIsRefused) {
  if (!test::CanActAsOtherUser()) GTEST_SKIP() << "needs root to act as another user";
  int pipeEnds[2] = {-1, -1};
  ASSERT_EQ(::pipe(pipeEnds), 0);
  ASSERT_EQ(::write(pipeEnds[1], "k", 1), 1);
  ::close(pipeEnds[1]);
  using D = const std::string&;
  const Exposure kAny = Exposure::kReadableByOthers, kOwner = Exposure::kOwnerOnly;
  const struct {
    std::function<void(D dir)> arrange;  // dir holds k (ours, 0644) and s (sticky, 01777)
    std::string path;                    // relative to dir unless absolute
    Exposure exposure;
    bool folder;          // judged with RequireTrustedFolder
    const char* refusal;  // a part of the refusal; nullptr when trusted
  } cases[] = {
      {[](D d) { Plant(d + "/s/k"); }, "s/k", kAny, false, nullptr},
      {[](D d) { EXPECT_EQ(::symlink("k", (d + "/l").c_str()), 0); }, "s/../l", kAny, false,
       nullptr},
      {{}, "/proc/self/fd/" + std::to_string(pipeEnds[0]), kOwner, false, nullptr},
      {{}, "s", kAny, true, nullptr},
      {[](D d) { AsOtherUser([&] { return Plant(d + "/s/o"); }); }, "s/o", kAny, false,
       "it belongs to user 65534"},
      {[](D d) { AsOtherUser([&] { return ::symlink("../k", (d + "/s/l").c_str()) == 0; }); },
       "s/l", kAny, false, "/s/l' on the way belongs to user 65534"},
      {[](D d) { ::chmod((d + "/k").c_str(), 0666); }, "k", kAny, false,
       "its mode 0666 lets others change it; run chmod go-w"},
      {{}, "k", kOwner, false, "its mode 0644 lets others read it; run chmod go-rwx"},
      {[](D d) { Folder(d + "/w", 0777), Plant(d + "/w/k"); }, "w/k", kAny, false,
       "/w' (mode 0777) lets others replace what it holds; run chmod go-w"},
      {[](D d) {
         Folder(d + "/o", 0755);
         EXPECT_EQ(::chown((d + "/o").c_str(), 65534, 0), 0);
       },
       "o", kAny, true, "/o' belongs to user 65534"},
  };
  test::TempDir top;
  ::chmod(top.path().c_str(), 0755);  // the other user reaches the case folders
  int n = 0;
  for (const auto& c : cases) {
    const std::string dir = top.File(std::to_string(n++));
    Folder(dir, 0755);
    Folder(dir + "/s", 01777);
    Plant(dir + "/k");
    ::chmod((dir + "/k").c_str(), 0644);
    if (c.arrange) c.arrange(dir);
    const std::string path = c.path[0] == '/' ? c.path : dir + "/" + c.path;
    try {
      if (c.folder) {
        RequireTrustedFolder(path, "the secret");
      } else {
        const int fd = static_cast<int>(OpenTrustedFile(path, "the key file", c.exposure));
        char got = 0;
        EXPECT_EQ(::read(fd, &got, 1) == 1 && got == 'k', true) << path;
        ::close(fd);
      }
      EXPECT_TRUE(c.refusal == nullptr) << path << " trusted";
    } catch (const UntrustedPathError& e) {
      EXPECT_NE(std::string(e.what()).find(c.refusal ? c.refusal : "(trusted)"), std::string::npos)
          << e.what();
    }
  }
  ::close(pipeEnds[0]);
}

}  // namespace
}  // namespace vantry::platform
