// The sealed-file commands as a user runs them: every unseal failure ends with exit 1 and its
// message and leaves no named output (an earlier one as it was); to standard output only the
// segments that verified come out. rekey changes a key in one stream; verify takes many files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/openssl_oracle.h"
#include "support/test_support.h"

namespace vantry::test {
namespace {

class CliSealed : public ::testing::Test {
 protected:
  ToolResult Run(const std::vector<std::string>& args, const std::string& input = "") {
    ToolRun run;
    run.args = args;
    run.input = input;
    run.setEnv = {"XDG_DATA_HOME=" + m_dir.File("data"), "XDG_CONFIG_HOME=" + m_dir.File("config"),
                  "PASS=correct horse battery staple"};
    run.workingFolder = m_dir.path();
    return RunTool(run);
  }
  std::string File(const std::string& name) const { return m_dir.File(name); }
  bool Exists(const std::string& name) const {
    for (const std::string& entry : m_dir.Entries()) {
      if (entry == name) {
        return true;
      }
    }
    return false;
  }
  TempDir m_dir;
};

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST_F(CliSealed, FailuresExitOneWithTheirMessageAndWriteNoPlainText) {
  Bytes plain(3 * 65536 + 10);
  for (std::size_t i = 0; i < plain.size(); ++i) {
    plain[i] = static_cast<unsigned char>('a' + i % 26);
  }
  WriteFile(File("plain"), plain);
  ASSERT_EQ(Run({"seal", "plain", "good.vts"}).exitCode, 0);
  ASSERT_EQ(Run({"save", "--key-env", "PASS", "plain", "old.vty"}).exitCode, 0);
  // The account secret's header is 188 bytes; segments are 65,552.
  const Bytes good = ReadFile(File("good.vts"));
  Bytes damaged = good;
  damaged[188 + 65552 + 9] ^= 1;
  WriteFile(File("damaged.vts"), damaged);
  WriteFile(File("cut.vts"), Bytes(good.begin(), good.begin() + 188 + 3 * 65552));
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"unseal", "damaged.vts", "out"},
       "'damaged.vts' is damaged at segment 2, byte offset 65740"},
      {{"unseal", "cut.vts", "out"},
       "'cut.vts' is truncated: it ends after segment 3, before its last segment; copy it again in "
       "full (or use a backup)"},
      {{"unseal", "old.vty", "out"},
       "'old.vty' is not a sealed file; a protected file is read with 'vantry load'"},
      {{"unseal", "--key-env", "PASS", "good.vts", "out"},
       "'good.vts' was sealed with an account's secret, not a passphrase"},
      {{"unseal", "--force", "damaged.vts", "earlier"}, "damaged at segment 2"},
      {{"load", "good.vts", "out"}, "'good.vts' is a sealed file: read it with 'vantry unseal'"},
      {{"verify", "good.vts", "damaged.vts", "cut.vts"}, "2 of 3 files failed verification"},
  };
  WriteFile(File("earlier"), {'o', 'l', 'd'});
  for (const auto& c : cases) {
    const ToolResult r = Run(c.args);
    EXPECT_EQ(r.exitCode, 1) << c.args[1];
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(Exists("out")) << c.args[1];
  }
  EXPECT_EQ(ReadFile(File("earlier")), (Bytes{'o', 'l', 'd'}));
  // A sealed stream is told apart by its first bytes, as a named file is.
  EXPECT_EQ(Run({"verify", "-"}, Text(good)).out,
            "-: authentic sealed file, " + std::to_string(plain.size()) + " bytes\n");
  // Standard output gets the first segment, which verified, and not one byte more.
  const ToolResult piped = Run({"unseal", "damaged.vts", "-"});
  EXPECT_EQ(piped.exitCode, 1);
  EXPECT_TRUE(piped.out == Text(Bytes(plain.begin(), plain.begin() + 65536)))
      << piped.out.size() << " bytes";
}

// Each message says what happened and what to do, word for word.
TEST_F(CliSealed, TheMessagesSayWhatHappenedAndWhatToDo) {
  WriteFile(File("plain"), Bytes(3 * 65536 + 10, 'p'));
  ASSERT_EQ(Run({"seal", "plain", "account.vts"}).exitCode, 0);
  ASSERT_EQ(Run({"seal", "--key-env", "PASS", "plain", "pass.vts"}).exitCode, 0);
  ASSERT_EQ(Run({"save", "--key-env", "PASS", "plain", "old.vty"}).exitCode, 0);
  const Bytes sealed = ReadFile(File("account.vts"));
  Bytes machine = sealed;
  machine[33] = 4;  // the slot of the machine's kind; its parameters have the same size, and
  // the header digest (bytes 148 to 155) is made anew: only the key, which no one holds, tells
  // it apart.
  const Bytes digest = OpenSslSha256(machine.data(), 148);
  std::copy(digest.begin(), digest.begin() + 8, machine.begin() + 148);
  WriteFile(File("machine.vts"), machine);
  Bytes version = sealed;
  version[8] ^= 0x7e;
  WriteFile(File("version.vts"), version);
  // The account secret's header is 188 bytes; segments are 65,552.
  WriteFile(File("cut.vts"), Bytes(sealed.begin(), sealed.begin() + 188 + 3 * 65552 + 5));
  WriteFile(File("junk"), Bytes(100, 'j'));
  const struct {
    std::vector<std::string> args;
    std::string input;
    std::string message;
  } cases[] = {
      {{"unseal", "--machine-secret", "account.vts", "out"},
       "",
       "'account.vts' was sealed with an account's key, not the machine's: open it with the "
       "account's key"},
      {{"unseal", "machine.vts", "out"},
       "",
       "'machine.vts' was sealed with the machine's key, not an account's: open it with the "
       "machine's key"},
      {{"unseal", "cut.vts", "out"},
       "",
       "'cut.vts' is cut short or damaged at segment 4, byte offset 196844: its last segment "
       "does not authenticate (the copy was cut short, or changed); it cannot be repaired: "
       "unseal a good copy of it (a backup, or its source)"},
      {{"unseal", "version.vts", "out"},
       "",
       "'version.vts' says it is a sealed file of version 124, which this version of Vantry "
       "does not read (it reads versions 1 and 2): its header is damaged, or a later Vantry "
       "wrote it"},
      {{"verify", "junk"},
       "",
       "'junk' was not protected with this key and these parameters, or is no protected file "
       "(nor a sealed one)"},
      {{"unseal", "pass.vts", "out"},
       "",
       "'pass.vts' was sealed with a passphrase, not an account's secret; there is no terminal "
       "to ask for it: give it with --key-file, --key-env or --key-hex-file"},
      {{"unseal", "-", "out"},
       Text(ReadFile(File("pass.vts"))),
       "standard input was sealed with a passphrase, not an account's secret; give its key "
       "with --ask-key, --key-file, --key-env, --key-hex-file, --identity or --tpm"},
      {{"rekey", "--key-file", "junk", "old.vty", "out"},
       "",
       "cannot rekey 'old.vty': the key given does not match (or it is not a protected file): "
       "give the key that protected it with --key-file, --key-env or --ask-key, or none for "
       "the machine key"},
  };
  for (const auto& c : cases) {
    ToolRun run;
    run.args = c.args;
    run.input = c.input;
    run.setEnv = {"XDG_DATA_HOME=" + File("data"), "PASS=correct horse battery staple"};
    run.workingFolder = m_dir.path();
    const ToolResult r = RunTool(run);
    EXPECT_EQ(r.exitCode, 1) << c.args[1];
    EXPECT_EQ(r.err, "vantry: error: " + c.message + "\n");
    EXPECT_FALSE(Exists("out")) << c.args[1];
  }
  // On a terminal, unseal asks for the passphrase such a file needs.
  const ToolResult asked = RunToolOnTerminal({"unseal", File("pass.vts"), File("out")},
                                             {"Passphrase: "}, {"correct horse battery staple"});
  EXPECT_EQ(asked.exitCode, 0) << asked.out;
  EXPECT_EQ(ReadFile(File("out")), ReadFile(File("plain")));
}

TEST_F(CliSealed, RekeyChangesTheKeyOrSealsInOneStream) {
  Bytes plain(100000, 'x');
  WriteFile(File("plain"), plain);
  WriteFile(File("new.txt"),
            {'n', 'e', 'w', 'k', 'e', 'y', 'n', 'e', 'w', 'k', 'e', 'y', '!', '!', '!', '!'});
  ASSERT_EQ(Run({"save", "--key-env", "PASS", "plain", "old.vty"}).exitCode, 0);
  ASSERT_EQ(Run({"rekey", "--key-env", "PASS", "--new-key-file", "new.txt", "old.vty", "new.vty"})
                .exitCode,
            0);
  EXPECT_EQ(ReadFile(File("new.vty")).size(), ReadFile(File("old.vty")).size());
  ASSERT_EQ(Run({"load", "--key-file", "new.txt", "new.vty", "a"}).exitCode, 0);
  ASSERT_EQ(Run({"load", "--key-env", "PASS", "old.vty", "b"}).exitCode, 0);
  EXPECT_EQ(ReadFile(File("a")), ReadFile(File("b")));
  ASSERT_EQ(Run({"rekey", "--key-env", "PASS", "--seal", "--armor", "old.vty", "s.vts"}).exitCode,
            0);
  EXPECT_EQ(ReadFile(File("s.vts"))[0], '-');  // "-----BEGIN VANTRY SEALED FILE-----"
  ASSERT_EQ(Run({"unseal", "s.vts", "c"}).exitCode, 0);
  ASSERT_EQ(Run({"decrypt", "--key-env", "PASS", "old.vty", "d"}).exitCode, 0);
  EXPECT_EQ(ReadFile(File("c")), ReadFile(File("d")));
  // A wrong old key writes nothing.
  EXPECT_EQ(Run({"rekey", "--key-file", "new.txt", "--seal", "old.vty", "t.vts"}).exitCode, 1);
  EXPECT_FALSE(Exists("t.vts"));
}

TEST_F(CliSealed, ARecoveryIdentityOpensDefaultSealsAndARefusedListLeavesNoOutput) {
  const std::string line = Run({"keygen", "org"}).out,
                    list = File("config/vantry/recovery-recipients");
  WriteFile(File("plain"), {'h', 'i'});
  ASSERT_EQ(Run({"seal", "plain", "first.vts"}).exitCode, 0);  // makes the account's secret
  std::filesystem::create_directories(File("config/vantry"));
  WriteFile(list, Bytes(line.begin(), line.end()));
  EXPECT_EQ(Run({"seal", "plain", "p.vts"}).err, "vantry: also sealed for the recovery recipient " +
                                                     line.substr(0, line.size() - 1) + " (from " +
                                                     list + ")\n");
  EXPECT_EQ(Run({"unseal", "--identity", "org", "p.vts", "-"}).out, "hi");
  std::filesystem::permissions(File("config/vantry"), std::filesystem::perms::group_write,
                               std::filesystem::perm_options::add);
  const std::string refused = Run({"seal", "plain", "q.vts"}).err;
  EXPECT_NE(refused.find("/config/vantry' (mode 0775) lets others replace"), std::string::npos);
  EXPECT_FALSE(Exists("q.vts"));
}

TEST_F(CliSealed, KeysOfASealedFileChangeWhileItsDataStaysAsItWas) {
  const Bytes plain(70000, 'y');
  WriteFile(File("plain"), plain);
  const ToolResult made = Run({"keygen", "id"});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const Bytes identity = ReadFile(File("id"));
  EXPECT_EQ(std::filesystem::status(File("id")).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(Run({"keygen", "id"}).exitCode, 1);  // never over an existing identity
  EXPECT_EQ(ReadFile(File("id")), identity);
  const std::string recipient = made.out.substr(0, made.out.size() - 1);
  EXPECT_EQ(Run({"keygen", "--recipient", "id"}).out, made.out);
  ASSERT_EQ(Run({"seal", "--key-env", "PASS", "--recipient", recipient, "plain", "f.vts"}).exitCode,
            0);
  EXPECT_EQ(
      Run({"slots", "f.vts"})
          .out.rfind(
              "f.vts: sealed file version 2, 2 slots\n  1  passphrase, 600000 PBKDF2 iterations\n"
              "  2  recipient, recipient tag ",
              0),
      0u);
  ASSERT_EQ(Run({"rekey", "--key-env", "PASS", "--remove-slot", "1", "--account-secret", "f.vts",
                 "g.vts"})
                .exitCode,
            0);
  // A passphrase slot is 71 bytes, a recipient's 103, an account's 83: only the header changed.
  const Bytes f = ReadFile(File("f.vts")), g = ReadFile(File("g.vts"));
  EXPECT_EQ(Bytes(f.begin() + 279, f.end()), Bytes(g.begin() + 291, g.end()));
  EXPECT_EQ(Run({"unseal", "--identity", "id", "g.vts", "-"}).out, std::string(70000, 'y'));
  EXPECT_EQ(Run({"unseal", "g.vts", "-"}).out, std::string(70000, 'y'));
  EXPECT_NE(Run({"unseal", "--key-env", "PASS", "g.vts", "-"})
                .err.find("'g.vts' was sealed with a recipient's key and an account's secret, "
                          "not a passphrase"),
            std::string::npos);
}

}  // namespace
}  // namespace vantry::test
