// What another local user can plant on the way to a file the library trusts, and what the
// trusted open makes of it. The other user is a child dropped to uid 65534.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/trusted_path.h"
#include "support/other_user.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::AsOtherUser;
using test::Bytes;

const Bytes kKey = {'k', 'e', 'y'};

bool Plant(const std::string& path) {
  test::WriteFile(path, kKey);
  return true;
}

void Link(const char* target, const std::string& at) {
  EXPECT_EQ(::symlink(target, at.c_str()), 0) << at;
}

struct Case {
  const char* name;
  std::function<void(const std::string& dir)> arrange;  // dir: the case's own folder
  std::string path;                                     // relative to dir unless absolute
  Exposure exposure;
  bool folder;          // judged with RequireTrustedFolder
  const char* refusal;  // a part of the refusal's text; nullptr when trusted
};

TEST(TrustedPathTest, WhatAnotherUserCanChangeOnTheWayIsRefused) {
  if (!test::CanActAsOtherUser()) {
    GTEST_SKIP() << "needs root to act as another user";
  }
  int pipeEnds[2] = {-1, -1};
  ASSERT_EQ(::pipe(pipeEnds), 0);
  ASSERT_EQ(::write(pipeEnds[1], kKey.data(), kKey.size()), 3);
  ::close(pipeEnds[1]);
  const auto ours = [](const std::string& d) { Plant(d + "/k"); };
  const auto shared = [](const std::string& d) {
    ::mkdir((d + "/s").c_str(), 0);
    ::chmod((d + "/s").c_str(), 01777);  // as /tmp is
  };
  const std::vector<Case> cases = {
      {"own file", ours, "k", Exposure::kReadableByOthers, false, nullptr},
      {"own file in a sticky shared folder",
       [&](const std::string& d) { shared(d), Plant(d + "/s/k"); }, "s/k",
       Exposure::kReadableByOthers, false, nullptr},
      {"own link, through ..",
       [&](const std::string& d) { ours(d), shared(d), Link("k", d + "/l"); }, "s/../l",
       Exposure::kReadableByOthers, false, nullptr},
      {"a pipe through the kernel's link",
       {},
       "/proc/self/fd/" + std::to_string(pipeEnds[0]),
       Exposure::kOwnerOnly,
       false,
       nullptr},
      {"another user's file in a sticky folder",
       [&](const std::string& d) { shared(d), AsOtherUser([&] { return Plant(d + "/s/k"); }); },
       "s/k", Exposure::kReadableByOthers, false, "it belongs to user 65534"},
      {"another user's link to our file",
       [&](const std::string& d) {
         ours(d), shared(d),
             AsOtherUser([&] { return ::symlink("../k", (d + "/s/l").c_str()) == 0; });
       },
       "s/l", Exposure::kReadableByOthers, false, "/s/l' on the way belongs to user 65534"},
      {"a file others may write",
       [&](const std::string& d) { ours(d), ::chmod((d + "/k").c_str(), 0666); }, "k",
       Exposure::kReadableByOthers, false, "its mode 0666 lets others change it; run chmod go-w"},
      {"a secret others may read",
       [&](const std::string& d) { ours(d), ::chmod((d + "/k").c_str(), 0640); }, "k",
       Exposure::kOwnerOnly, false, "its mode 0640 lets others read it; run chmod go-rwx"},
      {"a folder others may write",
       [&](const std::string& d) {
         ::mkdir((d + "/w").c_str(), 0), ::chmod((d + "/w").c_str(), 0777), Plant(d + "/w/k");
       },
       "w/k", Exposure::kReadableByOthers, false,
       "/w' (mode 0777) lets others replace what it holds"},
      {"another user's folder",
       [&](const std::string& d) {
         ::mkdir((d + "/o").c_str(), 0755);
         EXPECT_EQ(::chown((d + "/o").c_str(), 65534, 65534), 0);
       },
       "o", Exposure::kReadableByOthers, true, "/o' belongs to user 65534"},
      {"a sticky folder", shared, "s", Exposure::kReadableByOthers, true, nullptr},
  };
  test::TempDir top;
  ::chmod(top.path().c_str(), 0755);  // the other user must reach the case folders
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const std::string dir = top.File(std::to_string(i));
    ::mkdir(dir.c_str(), 0755);
    if (c.arrange) {
      c.arrange(dir);
    }
    const std::string path = c.path[0] == '/' ? c.path : dir + "/" + c.path;
    try {
      if (c.folder) {
        RequireTrustedFolder(path, "the secret");
      } else {
        TrustedFile file(path, "the key file", c.exposure);
        Bytes got(8);
        got.resize(file.ReadSome(got.data(), got.size()));
        EXPECT_EQ(got, kKey) << c.name;
      }
      EXPECT_TRUE(c.refusal == nullptr) << c.name << ": trusted";
    } catch (const UntrustedPathError& e) {
      ASSERT_TRUE(c.refusal != nullptr) << c.name << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("cannot trust the "), std::string::npos) << e.what();
    }
  }
  ::close(pipeEnds[0]);
}

}  // namespace
}  // namespace vantry::platform
