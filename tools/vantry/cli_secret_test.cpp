// The account's secret as a user lives with it: announced once when a seal creates it, lost,
// restored from its export, replaced with the old one kept (and still opening its files); what
// each refusal says; and a second user who can neither read, replace nor plant one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/other_user.h"
#include "support/test_support.h"

namespace vantry::test {
namespace {

class CliSecret : public ::testing::Test {
 protected:
  CliSecret() { WriteFile(File("plain"), Bytes{'h', 'i'}); }
  ToolResult Run(const std::vector<std::string>& args, const std::string& data = "data") {
    ToolRun run;
    run.args = args;
    run.setEnv = {"XDG_DATA_HOME=" + File(data), "PASS=correct horse battery staple"};
    run.workingFolder = m_dir.path();
    return RunTool(run);
  }
  // The identifier 'vantry secret show' prints.
  std::string Id(const std::string& data = "data") {
    const std::string shown = Run({"secret", "show"}, data).out;
    const std::size_t at = shown.find("identifier: ");
    return at == std::string::npos ? "" : shown.substr(at + 12, 32);
  }
  std::string Secret(const std::string& data = "data") const {
    return File(data) + "/vantry/account-secret";
  }
  std::string File(const std::string& name) const { return m_dir.File(name); }
  TempDir m_dir;
};

TEST_F(CliSecret, ALostSecretComesBackFromItsExportAndAReplacedOneStillOpensItsFiles) {
  const ToolResult first = Run({"seal", "plain", "old.vts"});
  const std::string old = Id();
  ASSERT_EQ(old.size(), 32u);
  EXPECT_EQ(first.err, "vantry: created this account's secret " + old + " in " + Secret() +
                           "; the files sealed with it open only with it (or another of their "
                           "keys): back it up with 'vantry secret export FILE' and keep the copy "
                           "off this machine\n");
  EXPECT_EQ(Run({"seal", "plain", "again.vts"}).err, "");  // announced once
  ASSERT_EQ(Run({"secret", "export", "--key-env", "PASS", "backup"}).exitCode, 0);
  ASSERT_EQ(std::rename(Secret().c_str(), File("lost").c_str()), 0);
  EXPECT_NE(Run({"unseal", "old.vts", "-"}).err.find("needs the account secret " + old),
            std::string::npos);
  EXPECT_EQ(Run({"secret", "import", "--key-env", "PASS", "backup"}).exitCode, 0);
  EXPECT_EQ(ReadFile(Secret()), ReadFile(File("lost")));
  EXPECT_EQ(Run({"unseal", "old.vts", "-"}).out, "hi");

  // A new secret, then the backup over it: refused without --replace, kept beside it with.
  ASSERT_EQ(std::rename(Secret().c_str(), File("lost").c_str()), 0);
  ASSERT_EQ(Run({"seal", "plain", "new.vts"}).exitCode, 0);
  const std::string fresh = Id();
  EXPECT_EQ(Run({"secret", "import", "--key-env", "PASS", "backup"}).exitCode, 1);
  EXPECT_EQ(Id(), fresh);
  EXPECT_EQ(Run({"secret", "import", "--key-env", "PASS", "--replace", "backup"}).out,
            "the account secret is now " + old + "; " + fresh + " is kept as " + Secret() + "-" +
                fresh + ", and the files sealed with it still open\n");
  EXPECT_EQ(Id(), old);
  EXPECT_EQ(Run({"unseal", "old.vts", "-"}).out, "hi");
  EXPECT_EQ(Run({"unseal", "new.vts", "-"}).out, "hi");
  EXPECT_EQ(Run({"secret", "import", "--key-env", "PASS", "backup"}).out,
            "this account's secret is " + old + " already: nothing to import\n");
}

// Each refusal says what happened and what to do, word for word.
TEST_F(CliSecret, TheMessagesSayWhatHappenedAndWhatToDo) {
  ASSERT_EQ(Run({"seal", "plain", "f.vts"}, "other").exitCode, 0);
  ASSERT_EQ(Run({"secret", "export", "--key-env", "PASS", "backup"}, "other").exitCode, 0);
  ASSERT_EQ(Run({"seal", "--key-env", "PASS", "plain", "pass.vts"}).exitCode, 0);
  ASSERT_EQ(Run({"seal", "plain", "mine.vts"}).exitCode, 0);
  const std::string wanted = Id("other"), own = Id(), path = Secret();
  const std::string restore =
      "move it away and restore the secret with 'vantry secret import "
      "FILE'";
  const std::string root = "user 0 (root)";
  const auto chmod = [&](mode_t mode) { return [&, mode] { ::chmod(path.c_str(), mode); }; };
  const struct {
    std::function<void()> setUp;
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {[] {},
       {"unseal", "f.vts", "out"},
       "'f.vts' was sealed for another account: it needs the account secret " + wanted +
           ", this account's is " + own +
           "; to open it here, import a backup of that secret with 'vantry secret import FILE'"},
      {[] {},
       {"secret", "import", "--key-env", "PASS", "backup"},
       "'backup' holds the account secret " + wanted + ", but this account has another, " + own +
           ": to make " + wanted + " this account's secret, import it with --replace (" + own +
           " is then kept as " + path + "-" + own + ", and the files sealed with it still open)"},
      {[] {},
       {"secret", "import", "--key-env", "PASS", "pass.vts"},
       "'pass.vts' is a sealed file but holds no exported secret"},
      {[] {},
       {"secret", "export", "--key-env", "PASS", "backup"},
       "'backup' exists: an export never replaces a file; name a new one"},
      {chmod(0640),
       {"unseal", "mine.vts", "out"},
       "the secret file " + path + " has mode 0640 and owner " + root +
           "; it must have mode 0600 and owner " + root + ": run 'chmod 600 " + path + "', or " +
           restore},
      {[&] { ASSERT_EQ(::chmod(path.c_str(), 0600) | ::chown(path.c_str(), kOtherUserId, 0), 0); },
       {"unseal", "mine.vts", "out"},
       "the secret file " + path +
           " has mode 0600 and owner user 65534 (nobody); it must have "
           "mode 0600 and owner " +
           root + ": " + restore},
      {[&] { ASSERT_EQ(::unlink(path.c_str()) | ::mkfifo(path.c_str(), 0600), 0); },
       {"seal", "plain", "out"},
       "the secret file " + path + " is a FIFO, not a 32-byte regular file: " + restore},
      {[&] {
         ::unlink(path.c_str());
         WriteFile(path, Bytes(31));
       },
       {"secret", "show"},
       "the secret file " + path + " is a 31-byte file, not a 32-byte regular file: " + restore},
      {[&] { ::unlink(path.c_str()); },
       {"unseal", "mine.vts", "out"},
       "'mine.vts' was sealed for another account: it needs the account secret " + own +
           ", and this account has no secret yet; to open it here, import a backup of that "
           "secret with 'vantry secret import FILE'"},
      {[] {},
       {"secret", "export", "--key-env", "PASS", "new"},
       "this account has no secret yet: nothing to export"},
  };
  for (const auto& c : cases) {
    c.setUp();
    const ToolResult r = Run(c.args);
    EXPECT_EQ(r.exitCode, 1) << c.args[1];
    EXPECT_EQ(r.err, "vantry: error: " + c.message + "\n");
  }
  EXPECT_EQ(m_dir.Entries(), (std::vector<std::string>{"backup", "data", "f.vts", "mine.vts",
                                                       "other", "pass.vts", "plain"}));
}

// Another user (uid 65534) of a folder she may write, sticky as /tmp is: the secret and its
// export are closed to her, and a kept secret she plants, file or link, is refused, not used.
TEST_F(CliSecret, AnotherUserCanNeitherReadNorReplaceNorPlantASecret) {
  if (!CanActAsOtherUser()) {
    GTEST_SKIP() << "acting as a second user needs root";
  }
  ASSERT_EQ(::chmod(m_dir.path().c_str(), 01777), 0);
  ASSERT_EQ(::mkdir(File("data").c_str(), 0755) | ::mkdir(File("data/vantry").c_str(), 0700) |
                ::chmod(File("data/vantry").c_str(), 01777),
            0);
  ASSERT_EQ(Run({"seal", "plain", "mine.vts"}).exitCode, 0);
  ASSERT_EQ(Run({"secret", "export", "--key-env", "PASS", "backup"}).exitCode, 0);
  // Her own secret, and a file sealed with it, as if she handed it over.
  ASSERT_EQ(Run({"seal", "plain", "hers.vts"}, "other").exitCode, 0);
  const Bytes hers = ReadFile(Secret("other"));
  const std::string planted = Secret() + "-" + Id("other");
  for (const std::string& target : {Secret(), File("backup")}) {
    EXPECT_TRUE(AsOtherUser([&] {
      WriteFile(File("mine"), Bytes(32));
      return std::fopen(target.c_str(), "rb") == nullptr &&
             std::fopen(target.c_str(), "r+b") == nullptr &&
             std::rename(File("mine").c_str(), target.c_str()) != 0 &&
             ::unlink(target.c_str()) != 0;
    })) << target;
  }
  const std::function<bool()> plants[] = {
      [&] {
        WriteFile(planted, hers);
        return ::chmod(planted.c_str(), 0600) == 0;
      },
      [&] {
        WriteFile(File("her-copy"), hers);
        return ::unlink(planted.c_str()) == 0 &&
               ::symlink(File("her-copy").c_str(), planted.c_str()) == 0;
      },
  };
  for (const auto& plant : plants) {
    ASSERT_TRUE(AsOtherUser(plant));
    const ToolResult r = Run({"unseal", "hers.vts", "out"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("the secret file " + planted), std::string::npos) << r.err;
  }
  EXPECT_EQ(Run({"unseal", "mine.vts", "-"}).out, "hi");
}

}  // namespace
}  // namespace vantry::test
