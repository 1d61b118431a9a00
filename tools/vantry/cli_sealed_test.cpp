// The sealed-file commands as a user runs them: every unseal failure ends with exit 1 and its
// message and leaves no named output (an earlier one as it was); to standard output only the
// segments that verified come out. rekey changes a key in one stream; verify takes many files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "support/test_support.h"

namespace vantry::test {
namespace {

class CliSealed : public ::testing::Test {
 protected:
  ToolResult Run(const std::vector<std::string>& args) {
    ToolRun run;
    run.args = args;
    run.setEnv = {"XDG_DATA_HOME=" + m_dir.File("data"), "PASS=correct horse battery staple"};
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
      {{"unseal", "cut.vts", "out"}, "'cut.vts' is truncated: it ends after segment 3"},
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
  // Standard output gets the first segment, which verified, and not one byte more.
  const ToolResult piped = Run({"unseal", "damaged.vts", "-"});
  EXPECT_EQ(piped.exitCode, 1);
  EXPECT_TRUE(piped.out == Text(Bytes(plain.begin(), plain.begin() + 65536)))
      << piped.out.size() << " bytes";
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
  ASSERT_EQ(Run({"rekey", "--key-env", "PASS", "--seal", "old.vty", "s.vts"}).exitCode, 0);
  ASSERT_EQ(Run({"unseal", "s.vts", "c"}).exitCode, 0);
  ASSERT_EQ(Run({"decrypt", "--key-env", "PASS", "old.vty", "d"}).exitCode, 0);
  EXPECT_EQ(ReadFile(File("c")), ReadFile(File("d")));
  // A wrong old key writes nothing.
  EXPECT_EQ(Run({"rekey", "--key-file", "new.txt", "--seal", "old.vty", "t.vts"}).exitCode, 1);
  EXPECT_FALSE(Exists("t.vts"));
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
