// The tool's wiring of the trust rules (platform/trusted_path.h holds their cases): another
// local user (a child at uid 65534) plants where the tool reads a key, keeps a secret or takes
// its INPUT. And inputs that are cut or come as streams.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/other_user.h"
#include "support/test_support.h"

namespace vantry::test {
namespace {

const Bytes kPlain = {'p', 'l', 'a', 'i', 'n', '\n'};
const Bytes kKey = {'a', ' ', 'k', 'e', 'y', ' ', 'o', 'f', ' ', 'o', 'u', 'r', ' ', 'o', 'w', 'n'};

class CliAttacks : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CanActAsOtherUser()) GTEST_SKIP() << "needs root to act as another user";
    ::chmod(m_top.path().c_str(), 0755);  // the other user reaches the case folders
  }
  // A folder of its own for each case, with plain, key and a sticky folder s that all may write.
  std::string NewCase() {
    const std::string dir = m_top.File(std::to_string(m_cases++));
    ::mkdir(dir.c_str(), 0755);
    WriteFile(dir + "/plain", kPlain);
    WriteFile(dir + "/key", kKey);
    ::mkdir((dir + "/s").c_str(), 0);
    ::chmod((dir + "/s").c_str(), 01777);
    return dir;
  }
  // "@" in an environment value stands for the case's folder.
  ToolResult Run(const std::string& dir, const std::vector<std::string>& args,
                 std::vector<std::string> env = {}, const std::string& input = "") {
    ToolRun run{args, input, {}, {"XDG_DATA_HOME"}, dir};
    for (std::string& e : env) {
      const std::size_t at = e.find('@');
      run.setEnv.push_back(at == std::string::npos ? e : e.replace(at, 1, dir));
    }
    return RunTool(run);
  }
  TempDir m_top;
  int m_cases = 0;
};

bool OtherLinks(const char* target, const std::string& at) {
  return AsOtherUser([&] { return ::symlink(target, at.c_str()) == 0; });
}
void OtherOwns(const std::string& folder) {
  ::mkdir(folder.c_str(), 0755);
  EXPECT_EQ(::chown(folder.c_str(), kOtherUserId, kOtherUserId), 0);
}

TEST_F(CliAttacks, WhatAnotherUserPlantsOnTheWayIsRefused) {
  const struct {
    std::function<void(const std::string& dir)> plant;
    std::vector<std::string> args;
    std::vector<std::string> env;
    const char* refusal;  // a part of standard error
  } cases[] = {
      {[](const std::string& d) { OtherLinks("../key", d + "/s/k"); },
       {"encrypt", "--key-file", "s/k", "plain", "out"},
       {},
       "cannot trust the key file 's/k': the link '"},
      {[](const std::string& d) { OtherOwns(d + "/x"); },
       {"seal", "plain", "out"},
       {"XDG_DATA_HOME=@/x"},
       "/x' belongs to user 65534"},
      {[](const std::string& d) {
         OtherOwns(d + "/h");
         OtherOwns(d + "/loot");
         AsOtherUser([&] {
           return ::mkdir((d + "/h/.local").c_str(), 0755) == 0 &&
                  ::mkdir((d + "/h/.local/share").c_str(), 0755) == 0 &&
                  ::symlink("../../../loot", (d + "/h/.local/share/vantry").c_str()) == 0;
         });
       },
       {"seal", "plain", "out"},
       {"HOME=@/h"},
       "/h) belongs to user 65534, not to this account"},
      {[](const std::string& d) { OtherLinks("/dev/null", d + "/s/in"); },
       {"encrypt", "--key-file", "key", "s/in", "out"},
       {},
       "cannot open 's/in': Permission denied"},
  };
  for (const auto& c : cases) {
    const std::string dir = NewCase();
    c.plant(dir);
    const ToolResult r = Run(dir, c.args, c.env);
    EXPECT_EQ(r.exitCode, 1) << c.refusal;
    EXPECT_NE(r.err.find(c.refusal), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(dir + "/out") || FileExists(dir + "/loot/account-secret")) << r.err;
  }
}

// A protected file cut short: a named INPUT's size shows it before a byte is written, so an
// OUTPUT that only --in-place lets the tool rewrite keeps its content.
TEST_F(CliAttacks, ACutInputLeavesAnOutputRewrittenInPlaceAsItWas) {
  const std::string dir = NewCase();
  WriteFile(dir + "/big", Bytes(200000, 'b'));  // more than the first piece written
  ASSERT_EQ(Run(dir, {"save", "--key-file", "key", "big", "whole"}).exitCode, 0);
  Bytes cut = ReadFile(dir + "/whole");
  cut.pop_back();
  WriteFile(dir + "/cut", cut);
  ::mkdir((dir + "/ro").c_str(), 0755);  // the other user may write OUTPUT, not its folder
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"decrypt"}, {"load"}, {"rekey", "--new-key-file", "key"}, {"rekey", "--seal"}}) {
    WriteFile(dir + "/ro/out", kPlain);
    ASSERT_EQ(::chown((dir + "/ro/out").c_str(), kOtherUserId, kOtherUserId), 0);
    args.insert(args.end(), {"--in-place", "--force", "--key-file", "key", "cut", "ro/out"});
    EXPECT_TRUE(AsOtherUser([&] { return Run(dir, args, {"XDG_DATA_HOME=@/s"}).exitCode == 1; }));
    EXPECT_TRUE(ReadFile(dir + "/ro/out") == kPlain) << args[0];
  }
}

TEST_F(CliAttacks, VerifyAnswersForASealedStream) {
  const std::string dir = NewCase();
  ASSERT_EQ(Run(dir, {"seal", "--key-file", "key", "plain", "sealed"}).exitCode, 0);
  const Bytes sealed = ReadFile(dir + "/sealed");
  const ToolResult r =
      Run(dir, {"verify", "--key-file", "key", "-"}, {}, std::string(sealed.begin(), sealed.end()));
  EXPECT_EQ(r.out, "-: authentic sealed file, 6 bytes\n") << r.err;
  EXPECT_EQ(r.exitCode, 0);
}

}  // namespace
}  // namespace vantry::test
