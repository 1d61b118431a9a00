// The tool against what a careless user or a hostile one puts in its way: outputs that are
// devices, FIFOs, symlinks or other users' files; keys with NUL bytes or without end; inputs
// whose size the file system does not know; core dumps; the terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "console.h"
#include "support/cli_runner.h"
#include "support/other_user.h"
#include "support/test_support.h"
#include "vantry/vantry.h"

namespace vantry::test {
namespace {

const std::string kKey = "hardening key text, long enough";

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes LibraryLoad(const std::string& path, const char* key) {
  std::int32_t length = 0;
  std::unique_ptr<unsigned char, void (*)(void*)> block(
      LoadVantryWithKey2(path.c_str(), &length, key), &FreeVantryBuffer);
  return Bytes(block.get(), block.get() + length);
}

class CliHardening : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(File("key"), ToBytes(kKey));
    WriteFile(File("plain"), ToBytes("some plain text\n"));
    SaveVantryWithKey2(reinterpret_cast<const unsigned char*>("some plain text\n"), 16,
                       File("p.vty").c_str(), kKey.c_str());
  }
  void TearDown() override { EXPECT_EQ(m_tmpdir.Entries(), std::vector<std::string>{}); }

  ToolResult Run(const std::vector<std::string>& args, const std::string& input = "") {
    ToolRun run;
    run.args = args;
    run.input = input;
    run.setEnv = {"TMPDIR=" + m_tmpdir.path()};
    run.workingFolder = m_dir.path();
    return RunTool(run);
  }
  std::string File(const std::string& name) const { return m_dir.File(name); }

  TempDir m_dir;
  TempDir m_tmpdir;
};

// Every command that writes, with an INPUT it accepts.
std::vector<std::vector<std::string>> WritingCommands() {
  return {{"save", "--key-file", "key", "plain"},
          {"load", "--key-file", "key", "p.vty"},
          {"encrypt", "--key-file", "key", "plain"},
          {"decrypt", "--key-file", "key", "p.vty"},
          {"encrypt", "--in-memory", "--key-file", "key", "plain"},
          {"decrypt", "--in-memory", "--key-file", "key", "p.vty"}};
}

// What a command prints on standard output (a verdict, a listing, a recipient) meeting a full
// disk: the failure is said, never a bare exit status.
TEST_F(CliHardening, AFullStandardOutputIsSaid) {
  ASSERT_EQ(Run({"keygen", "id"}).exitCode, 0);
  const std::vector<std::string> commands[] = {
      {"--version"}, {"keygen", "--recipient", "id"}, {"verify", "--key-file", "key", "p.vty"}};
  for (const std::vector<std::string>& args : commands) {
    std::string line = std::string(VANTRY_TOOL_PATH);
    for (const std::string& arg : args) {
      line += " " + arg;
    }
    line = "cd '" + m_dir.path() + "' && " + line + " >/dev/full 2>err";
    const int status = std::system(line.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << line;
    EXPECT_EQ(Text(ReadFile(File("err"))),
              "vantry: error: cannot write standard output: No space left on device\n")
        << line;
  }
}

TEST_F(CliHardening, DevicesAndFifosAreNeverReplaced) {
  ASSERT_EQ(::mknod(File("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0) << "needs root";
  ASSERT_EQ(::mkfifo(File("fifo").c_str(), 0600), 0);
  for (const char* target : {"null", "fifo"}) {
    for (std::vector<std::string> args : WritingCommands()) {
      args.insert(args.begin() + 1, "--force");
      args.push_back(target);
      const ToolResult r = Run(args);
      EXPECT_EQ(r.exitCode, 1) << args[0] << " " << target;
      // Refused before anything is opened, with the reason ("is a device", "is a FIFO").
      const std::string head = "vantry: error: '" + std::string(target) + "' is a ";
      EXPECT_EQ(r.err.compare(0, head.size(), head), 0) << r.err;
      struct stat info {};
      ASSERT_EQ(::lstat(File(target).c_str(), &info), 0);
      EXPECT_TRUE(std::string(target) == "null" ? S_ISCHR(info.st_mode) : S_ISFIFO(info.st_mode));
    }
  }
}

TEST_F(CliHardening, ASymlinkedOutputIsWrittenThroughItsLink) {
  for (std::vector<std::string> args : WritingCommands()) {
    WriteFile(File("real"), ToBytes("earlier"));
    std::remove(File("link").c_str());
    ASSERT_EQ(::symlink("real", File("link").c_str()), 0);
    args.insert(args.begin() + 1, "--force");
    args.push_back("link");
    const ToolResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << args[0] << r.err;
    struct stat info {};
    ASSERT_EQ(::lstat(File("link").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << args[0];
    EXPECT_NE(Text(ReadFile(File("real"))), "earlier") << args[0];
  }
}

TEST_F(CliHardening, AnotherUsersPrivateOutputStaysTheirsAndPrivate) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "needs root to give a file to another user";
  }
  for (std::vector<std::string> args : WritingCommands()) {
    WriteFile(File("theirs"), ToBytes("their earlier file"));
    ASSERT_EQ(::chown(File("theirs").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(File("theirs").c_str(), 0600), 0);
    args.insert(args.begin() + 1, "--force");
    args.push_back("theirs");
    const ToolResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << args[0] << r.err;
    struct stat info {};
    ASSERT_EQ(::stat(File("theirs").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u) << args[0];
    // Plain text is never handed to another user; cipher text keeps the file's owner.
    const bool plainText = args[0] == "load" || args[0] == "decrypt";
    EXPECT_EQ(info.st_uid, plainText ? 0u : 65534u) << args[0];
    EXPECT_EQ(info.st_gid, 65534u) << args[0];
  }
}

// A new plain-text output is its owner's alone whatever the umask says; a new protected file,
// cipher text, follows the umask like any other file. Under umask 022 that is 0600 and 0644.
// A file protected with the machine key, which every local user can compute, is owner-only.
TEST_F(CliHardening, NewPlainTextOutputsAreOwnerOnly) {
  const mode_t previous = ::umask(022);
  const bool plainText[] = {false, true, false, true, false, true, true};
  auto commands = WritingCommands();
  commands.push_back({"save", "plain"});
  for (std::size_t i = 0; i < commands.size(); ++i) {
    std::vector<std::string> args = commands[i];
    const std::string output = "new-" + std::to_string(i);
    args.push_back(output);
    const ToolResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << args[0] << r.err;
    struct stat info {};
    ASSERT_EQ(::stat(File(output).c_str(), &info), 0) << args[0];
    EXPECT_EQ(info.st_mode & 07777, plainText[i] ? 0600u : 0644u) << args[0];
  }
  ::umask(previous);
}

TEST_F(CliHardening, AnExistingOutputIsRefusedBeforeTheKeyIsRead) {
  WriteFile(File("out"), ToBytes("keep"));
  // A key file that does not exist would be the first failure if the key were read first.
  for (std::vector<std::string> args : WritingCommands()) {
    args[args[1] == "--in-memory" ? 3 : 2] = "no-such-key";
    args.push_back("out");
    const ToolResult r = Run(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "vantry: error: 'out' exists; use --force to replace it\n") << args[0];
  }
  EXPECT_EQ(Text(ReadFile(File("out"))), "keep");
}

struct KeyCase {
  std::string name;
  std::string keyFile;
  std::string err;  // standard error of a save with it
  int exitCode;
  std::string libraryKey;  // the key text the library is given (exit 0 only)
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class CliKeyTexts : public CliHardening, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(CliKeyTexts, NulBytesAndShortTexts) {
  const KeyCase& c = GetParam();
  WriteFile(File("k"), ToBytes(c.keyFile));
  const ToolResult r = Run({"save", "--key-file", "k", "plain", "out.vty"});
  EXPECT_EQ(r.exitCode, c.exitCode);
  EXPECT_EQ(r.err, c.err);
  if (c.exitCode != 0) {
    EXPECT_FALSE(FileExists(File("out.vty")));
    return;
  }
  EXPECT_EQ(ToHex(LibraryLoad(File("out.vty"), c.libraryKey.c_str())),
            ToHex(LibraryLoad(File("p.vty"), kKey.c_str())));
}

const char kNulWarning[] =
    "vantry: warning: the key text holds a NUL byte; only the characters before it count\n";
const char kShortWarning[] =
    "vantry: warning: the key text has fewer than 16 characters; only the first 16 count, and "
    "fewer make a weaker key\n";

INSTANTIATE_TEST_SUITE_P(
    Keys, CliKeyTexts,
    ::testing::Values(KeyCase{"NulFirst", std::string("\0my long secret text", 20),
                              "vantry: error: the key text is empty up to its first NUL byte\n", 1,
                              ""},
                      KeyCase{"NulOnly", std::string("\0", 1),
                              "vantry: error: the key text is empty up to its first NUL byte\n", 1,
                              ""},
                      KeyCase{"NulInside", std::string("0123456789abcdefgh\0tail", 23), kNulWarning,
                              0, "0123456789abcdefgh"},
                      KeyCase{"NulEarly", std::string("short\0 and more text", 20),
                              std::string(kNulWarning) + kShortWarning, 0, "short"},
                      KeyCase{"Short", "fifteen chars!!\n", kShortWarning, 0, "fifteen chars!!"},
                      KeyCase{"Sixteen", "exactly sixteen!", "", 0, "exactly sixteen!"}),
    [](const auto& info) { return info.param.name; });

TEST_F(CliHardening, HexKeyDataWithAZeroByteFirstIsRefused) {
  WriteFile(File("hex"), ToBytes("00 0102030405060708090a0b0c0d0e0f\n"));
  const ToolResult r = Run({"encrypt", "--key-hex-file", "hex", "plain", "out"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err,
            "vantry: error: the key data in 'hex' starts with a zero byte, which leaves the key "
            "check nothing of the key\n");
  EXPECT_FALSE(FileExists(File("out")));
}

TEST_F(CliHardening, KeyFilesAreCapped) {
  const std::string cap = std::to_string(64 * 1024);
  WriteFile(File("big"), Bytes(64 * 1024 + 1, 'k'));
  WriteFile(File("bighex"), Bytes(64 * 1024 + 2, 'a'));
  WriteFile(File("fits"), Bytes(64 * 1024, 'k'));
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"save", "--key-file", "big", "plain", "out"},
       "vantry: error: the key file 'big' is larger than " + cap + " bytes\n"},
      {{"save", "--key-file", "/dev/zero", "plain", "out"},
       "vantry: error: the key file '/dev/zero' is larger than " + cap + " bytes\n"},
      {{"encrypt", "--key-hex-file", "/dev/zero", "plain", "out"},
       "vantry: error: the key file '/dev/zero' is larger than " + cap + " bytes\n"},
      {{"verify", "--key-hex-file", "bighex", "p.vty"},
       "vantry: error: the key file 'bighex' is larger than " + cap + " bytes\n"},
  };
  for (const auto& c : cases) {
    const ToolResult r = Run(c.args);
    EXPECT_EQ(r.exitCode, c.args[0] == "verify" ? 2 : 1) << c.args[2];
    EXPECT_EQ(r.err, c.err) << "README, Usage: key files are read to at most 64 KiB";
    EXPECT_FALSE(FileExists(File("out")));
  }
  EXPECT_EQ(Run({"save", "--key-file", "fits", "plain", "out"}).exitCode, 0);
}

TEST_F(CliHardening, InputsWithoutAKnownSizeAreReadToTheirEnd) {
  // /proc files say size 0; the whole text must still be protected, by every command.
  for (std::vector<std::string> args : WritingCommands()) {
    if (args[0] == "load" || args[0] == "decrypt") {
      continue;
    }
    args.back() = "/proc/self/status";
    args.push_back("out");
    const ToolResult r = Run(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string loaded = Text(LibraryLoad(File("out"), kKey.c_str()));
    EXPECT_EQ(loaded.rfind("Name:", 0), 0u) << args[1];
    EXPECT_GT(loaded.size(), 200u);
    std::remove(File("out").c_str());
  }
  // A pipe as a named INPUT (/dev/stdin), for load; standard input as "-" is tested elsewhere.
  const std::string command = "cd '" + m_dir.path() +
                              "' && cat p.vty | '" VANTRY_TOOL_PATH
                              "' load --strip --key-file key /dev/stdin -";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out(4096, '\0');
  out.resize(std::fread(&out[0], 1, out.size(), pipe));
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_EQ(out, "some plain text\n");
}

TEST_F(CliHardening, OneFileAsBothInputAndOutputIsRefused) {
  ASSERT_EQ(::link(File("plain").c_str(), File("same").c_str()), 0);
  for (const char* output : {"plain", "same", "./plain"}) {
    const ToolResult r = Run({"encrypt", "--force", "--key-file", "key", "plain", output});
    EXPECT_EQ(r.exitCode, 1) << output;
    EXPECT_EQ(r.err, "vantry: error: 'plain' is both INPUT and OUTPUT\n") << output;
  }
  EXPECT_EQ(Text(ReadFile(File("plain"))), "some plain text\n");
}

// Another user's data file in a folder only root may write: rewritten in place, it would be lost
// to a failure part way. The tool refuses, saying why, unless --in-place asks for it.
TEST_F(CliHardening, AnOutputThatCouldOnlyBeRewrittenInPlaceNeedsInPlace) {
  if (!CanActAsOtherUser()) {
    GTEST_SKIP() << "acting as a second user needs root";
  }
  ASSERT_EQ(::chmod(m_dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(File("app").c_str(), 0755), 0);
  for (const char* name : {"app/out", "app/key"}) {
    WriteFile(File(name), ToBytes(kKey));
    ASSERT_EQ(::chown(File(name).c_str(), kOtherUserId, kOtherUserId), 0);
  }
  for (const bool inPlace : {false, true}) {
    EXPECT_TRUE(AsOtherUser([&] {
      std::vector<std::string> args = {"save",    "--force", "--key-file",
                                       "app/key", "app/key", "app/out"};
      if (inPlace) args.insert(args.begin() + 1, "--in-place");
      const ToolResult r = Run(args);
      return inPlace ? r.exitCode == 0
                     : r.exitCode == 1 && r.err.find(
                                              "beside 'app/out': its folder is not "
                                              "writable") != std::string::npos;
    })) << inPlace;
    EXPECT_EQ(ReadFile(File("app/out")).size(), inPlace ? 64u : kKey.size());
  }
}

TEST_F(CliHardening, MessagesSayABusyFileIsInUseAndEscapeNames) {
  WriteFile(File("out"), ToBytes("held"));
  const int held = ::open(File("out").c_str(), O_RDONLY);
  const int heldInput = ::open(File("plain").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  ASSERT_EQ(::flock(heldInput, LOCK_EX | LOCK_NB), 0);
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"save", "--force", "--key-file", "key", "p.vty", "out"},
       "vantry: error: cannot create 'out': it is in use by another program\n"},
      {{"save", "--key-file", "key", "plain", "new"},
       "vantry: error: cannot open 'plain': it is in use by another program\n"},
      {{"save", "--key-file", "key", "no\nsuch\x1b[2J", "new"},
       "vantry: error: cannot open 'no\\nsuch\\x1b[2J': No such file or directory\n"},
      {{"load", "--key-file", "key", "p.vty", "no-folder/\t"},
       "vantry: error: cannot create 'no-folder/\\t': No such file or directory\n"},
  };
  for (const auto& c : cases) {
    const ToolResult r = Run(c.args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, c.err);
  }
  // A key file is the user's own input, read without the lock: another reader is no failure.
  const int heldKey = ::open(File("key").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(heldKey, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(Run({"save", "--key-file", "key", "p.vty", "new"}).exitCode, 0);
  std::remove(File("new").c_str());
  ::close(heldKey);
  ::close(held);
  ::close(heldInput);
  EXPECT_EQ(Text(ReadFile(File("out"))), "held");
  EXPECT_FALSE(FileExists(File("new")));
}

TEST_F(CliHardening, CoreDumpsAreOffInTheTool) {
  // In a child of this test, as the tool's main does it.
  const pid_t child = ::fork();
  if (child == 0) {
    const bool done = vantry::tool::DisableCoreDumps();
    rlimit core{};
    ::getrlimit(RLIMIT_CORE, &core);
    ::_exit(done && core.rlim_cur == 0 && core.rlim_max == 0 &&
                    ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0
                ? 0
                : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  // And the tool itself, seen from outside while it waits for its input: its core limit.
  int in[2];
  ASSERT_EQ(::pipe(in), 0);
  const pid_t tool = ::fork();
  if (tool == 0) {
    ::dup2(in[0], 0);
    ::close(in[0]);
    ::close(in[1]);
    if (::chdir(m_dir.path().c_str()) != 0) {
      ::_exit(126);
    }
    ::execl(VANTRY_TOOL_PATH, "vantry", "save", "--key-file", "key", "-", "out", nullptr);
    ::_exit(127);
  }
  ::close(in[0]);
  // 128 KiB through a 64 KiB pipe: the tool is reading, past its start-up.
  const Bytes data(128 * 1024, 'x');
  ASSERT_EQ(::write(in[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
  const std::string limits = Text(ReadFile("/proc/" + std::to_string(tool) + "/limits"));
  ::close(in[1]);
  ASSERT_EQ(::waitpid(tool, &status, 0), tool);
  EXPECT_NE(limits.find("Max core file size        0                    0"), std::string::npos)
      << limits;
}

TEST_F(CliHardening, AStopSignalAtThePromptRestoresTheTerminal) {
  const ToolResult r =
      RunToolOnTerminal({"save", "--ask-key", File("plain"), File("out")}, {"Key: "}, {"\x03"});
  EXPECT_EQ(r.exitCode, -SIGINT) << r.out;
  EXPECT_NE(r.out.find("vantry: error: interrupted by SIGINT"), std::string::npos) << r.out;
  EXPECT_EQ(r.terminalEchoAtEnd, 1);
  EXPECT_FALSE(FileExists(File("out")));
}

TEST_F(CliHardening, KeyFileDashOnATerminalIsReadWithoutEcho) {
  const std::string typed = "typed key text, not echoed";
  const ToolResult r = RunToolOnTerminal(
      {"save", "--key-file", "-", File("plain"), File("out.vty")}, {"Key: "}, {typed});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out.find(typed), std::string::npos) << r.out;
  EXPECT_EQ(Text(LibraryLoad(File("out.vty"), typed.c_str())),
            Text(LibraryLoad(File("p.vty"), kKey.c_str())));
}

// The trust rules' wiring (platform/trusted_path.h holds their cases): what another user plants
// where the tool reads a key, keeps a secret or takes its INPUT is refused, and nothing written.
TEST_F(CliHardening, WhatAnotherUserPlantsOnTheWayIsRefused) {
  if (!CanActAsOtherUser()) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(::chmod(m_dir.path().c_str(), 0755), 0);
  const auto other = [](const std::string& folder) {
    ::mkdir(folder.c_str(), 0755);
    EXPECT_EQ(::chown(folder.c_str(), kOtherUserId, kOtherUserId), 0);
  };
  const auto link = [](const char* target, const std::string& at) {
    AsOtherUser([&] { return ::symlink(target, at.c_str()) == 0; });
  };
  const struct {
    std::function<void(const std::string& d)> plant;  // d: the case's folder, s sticky in it
    std::vector<std::string> args;
    std::string env;      // "@" stands for the case's folder
    const char* refusal;  // a part of standard error
  } cases[] = {
      {[&](const std::string& d) { link("../key", d + "/s/k"); },
       {"encrypt", "--key-file", "s/k", "plain", "out"},
       "",
       "the key file 's/k': the link '"},
      {[&](const std::string& d) { other(d + "/x"); },
       {"seal", "plain", "out"},
       "XDG_DATA_HOME=@/x",
       "/x' belongs to user 65534"},
      {[&](const std::string& d) {
         other(d + "/h"), other(d + "/loot");
         AsOtherUser([&] {
           return ::mkdir((d + "/h/.local").c_str(), 0755) == 0 &&
                  ::mkdir((d + "/h/.local/share").c_str(), 0755) == 0 &&
                  ::symlink("../../../loot", (d + "/h/.local/share/vantry").c_str()) == 0;
         });
       },
       {"seal", "plain", "out"},
       "HOME=@/h",
       "/h) belongs to user 65534, not to this account"},
      {[&](const std::string& d) { link("/dev/null", d + "/s/in"); },
       {"encrypt", "--key-file", "key", "s/in", "out"},
       "",
       "cannot open 's/in': Permission denied"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string d = File(std::to_string(n++));
    ::mkdir(d.c_str(), 0755);
    ::mkdir((d + "/s").c_str(), 0);
    ::chmod((d + "/s").c_str(), 01777);
    WriteFile(d + "/key", ToBytes(kKey));
    WriteFile(d + "/plain", ToBytes("plain"));
    c.plant(d);
    std::vector<std::string> env = {"TMPDIR=" + m_tmpdir.path()};
    if (!c.env.empty()) env.push_back(std::string(c.env).replace(c.env.find('@'), 1, d));
    const ToolResult r = RunTool({c.args, "", env, {"XDG_DATA_HOME"}, d});
    EXPECT_EQ(r.exitCode, 1) << c.refusal;
    EXPECT_NE(r.err.find(c.refusal), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(d + "/out") || FileExists(d + "/loot/account-secret")) << r.err;
  }
}

// A protected file cut short: a named INPUT's size shows it before a byte is written, so an
// OUTPUT that only --in-place lets the tool rewrite keeps its content.
TEST_F(CliHardening, ACutInputLeavesAnOutputRewrittenInPlaceAsItWas) {
  if (!CanActAsOtherUser()) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(::chmod(m_dir.path().c_str(), 0755), 0);
  const Bytes big(200000, 'b');  // more than the first piece written
  SaveVantryWithKey2(big.data(), 200000, File("cut").c_str(), kKey.c_str());
  ASSERT_EQ(::truncate(File("cut").c_str(), 32 + 200000 - 1), 0);
  ASSERT_EQ(::mkdir(File("ro").c_str(), 0755), 0);  // the other user may write OUTPUT, not here
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"decrypt"}, {"load"}, {"rekey", "--new-key-file", "key"}, {"rekey", "--seal"}}) {
    WriteFile(File("ro/out"), ToBytes("earlier"));
    ASSERT_EQ(::chown(File("ro/out").c_str(), kOtherUserId, kOtherUserId), 0);
    args.insert(args.end(), {"--in-place", "--force", "--key-file", "key", "cut", "ro/out"});
    EXPECT_TRUE(AsOtherUser([&] {
      return RunTool({args, "", {"XDG_DATA_HOME=" + File("ro")}, {}, m_dir.path()}).exitCode == 1;
    }));
    EXPECT_EQ(Text(ReadFile(File("ro/out"))), "earlier") << args[0];
  }
}

}  // namespace
}  // namespace vantry::test
