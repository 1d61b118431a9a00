// The command line parser in this process: every mistake a user can make and the message and
// help it leads to, and what a correct line sets.
#include "command_line.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "vantry/rijndael_cipher.h"

namespace vantry::tool {
namespace {

struct UsageCase {
  std::vector<std::string> args;
  std::string message;
  std::string help;  // the help the message points to
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
void PrintTo(const UsageCase& c, std::ostream* os) {
  *os << "vantry";
  for (const auto& a : c.args) *os << ' ' << a;
}

std::string HelpFor(const UsageError& e) {
  return e.command() ? std::string("vantry ") + CommandName(*e.command()) + " --help"
                     : "vantry --help";
}

class UsageTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageTest, RefusedWithMessageAndHelp) {
  try {
    ParseCommandLine(GetParam().args);
    ADD_FAILURE() << "accepted";
  } catch (const UsageError& e) {
    EXPECT_EQ(e.what(), GetParam().message);
    EXPECT_EQ(HelpFor(e), GetParam().help);
  }
}

const std::string kIv16 = "00112233445566778899aabbccddeeff";

INSTANTIATE_TEST_SUITE_P(
    Lines, UsageTest,
    ::testing::Values(
        UsageCase{{}, "no command given", "vantry --help"},
        UsageCase{{"frobnicate"}, "unknown command 'frobnicate'", "vantry --help"},
        UsageCase{{"--frob"}, "unknown option '--frob'", "vantry --help"},
        UsageCase{{"--version", "x"}, "unexpected argument 'x' after --version", "vantry --help"},
        UsageCase{{"--help", "save"}, "unexpected argument 'save' after --help", "vantry --help"},
        UsageCase{{"save"}, "save needs INPUT and OUTPUT", "vantry save --help"},
        UsageCase{{"load", "in"}, "load needs INPUT and OUTPUT", "vantry load --help"},
        UsageCase{{"encrypt", "in", "out", "extra"},
                  "too many arguments for encrypt: 'extra'",
                  "vantry encrypt --help"},
        UsageCase{{"verify"}, "verify needs FILE", "vantry verify --help"},
        UsageCase{{"seal", "--machine-secret", "--key-env", "K", "in", "out"},
                  "options --machine-secret and --key-env both give the key; give one",
                  "vantry seal --help"},
        UsageCase{{"machine-key", "x"},
                  "too many arguments for machine-key: 'x'",
                  "vantry machine-key --help"},
        UsageCase{{"save", "--strip", "in", "out"},
                  "option --strip does not apply to save",
                  "vantry save --help"},
        UsageCase{{"save", "--key-hex-file", "k", "in", "out"},
                  "option --key-hex-file does not apply to save",
                  "vantry save --help"},
        UsageCase{{"load", "--mode", "cbc", "in", "out"},
                  "option --mode does not apply to load",
                  "vantry load --help"},
        UsageCase{{"load", "--in-memory", "in", "out"},
                  "option --in-memory does not apply to load",
                  "vantry load --help"},
        UsageCase{{"verify", "--force", "in"},
                  "option --force does not apply to verify",
                  "vantry verify --help"},
        UsageCase{{"verify", "--iv", kIv16, "in"},
                  "option --iv does not apply to verify",
                  "vantry verify --help"},
        UsageCase{{"machine-key", "--key-file", "k"},
                  "option --key-file does not apply to machine-key",
                  "vantry machine-key --help"},
        UsageCase{{"save", "-x", "in", "out"}, "unknown option '-x'", "vantry save --help"},
        UsageCase{{"save", "--keyfile", "k", "in", "out"},
                  "unknown option '--keyfile'",
                  "vantry save --help"},
        UsageCase{{"encrypt", "--block-size", "17", "in", "out"},
                  "option --block-size must be 16, 24 or 32, not '17'",
                  "vantry encrypt --help"},
        UsageCase{{"decrypt", "--key-size=8", "in", "out"},
                  "option --key-size must be 16, 24 or 32, not '8'",
                  "vantry decrypt --help"},
        UsageCase{{"encrypt", "--mode", "ofb", "in", "out"},
                  "option --mode must be ecb, cbc or cfb, not 'ofb'",
                  "vantry encrypt --help"},
        UsageCase{{"verify", "--mode", "ECB", "in"},
                  "option --mode must be ecb, cbc or cfb, not 'ECB'",
                  "vantry verify --help"},
        UsageCase{{"encrypt", "--padding", "pkcs7", "in", "out"},
                  "option --padding must be zero, space or count, not 'pkcs7'",
                  "vantry encrypt --help"},
        UsageCase{{"encrypt", "--iv", "xyz", "in", "out"},
                  "option --iv needs hexadecimal digits, two for each byte",
                  "vantry encrypt --help"},
        UsageCase{{"encrypt", "--iv", "001", "in", "out"},
                  "option --iv needs hexadecimal digits, two for each byte",
                  "vantry encrypt --help"},
        UsageCase{{"encrypt", "--iv", "00112233", "in", "out"},
                  "option --iv must give 16 bytes (32 hexadecimal digits) for a 16-byte block",
                  "vantry encrypt --help"},
        UsageCase{{"decrypt", "--iv", kIv16, "--block-size", "32", "in", "out"},
                  "option --iv must give 32 bytes (64 hexadecimal digits) for a 32-byte block",
                  "vantry decrypt --help"},
        UsageCase{{"encrypt", "in", "out", "--mode"},
                  "option --mode needs a value",
                  "vantry encrypt --help"},
        UsageCase{{"save", "--key-env=", "in", "out"},
                  "option --key-env needs a value",
                  "vantry save --help"},
        UsageCase{{"save", "--force=yes", "in", "out"},
                  "option --force takes no value",
                  "vantry save --help"},
        UsageCase{{"save", "--force", "--force", "in", "out"},
                  "option --force given more than once",
                  "vantry save --help"},
        UsageCase{{"encrypt", "--mode", "cbc", "--mode", "cfb", "in", "out"},
                  "option --mode given more than once",
                  "vantry encrypt --help"},
        UsageCase{{"save", "--key-file", "k", "--key-env", "K", "in", "out"},
                  "options --key-file and --key-env both give the key; give one",
                  "vantry save --help"},
        UsageCase{{"encrypt", "--ask-key", "--key-hex-file", "k", "in", "out"},
                  "options --ask-key and --key-hex-file both give the key; give one",
                  "vantry encrypt --help"},
        UsageCase{{"save", "--key-file", "-", "-", "out"},
                  "standard input cannot give both the key and INPUT",
                  "vantry save --help"},
        UsageCase{{"verify", "--key-hex-file", "-", "-"},
                  "standard input cannot give both the key and FILE",
                  "vantry verify --help"},
        UsageCase{{"save", "--", "--help"}, "save needs INPUT and OUTPUT", "vantry save --help"},
        UsageCase{{"save", "--progress", "--quiet", "in", "out"},
                  "options --progress and --quiet contradict each other; give one",
                  "vantry save --help"},
        UsageCase{{"verify", "--quiet", "in"},
                  "option --quiet does not apply to verify",
                  "vantry verify --help"}));

// The words of --mode and --padding stand for the library's constants, whatever their order.
TEST(CommandLine, ModeAndPaddingWordsAreTheLibrarysConstants) {
  const struct {
    const char* mode;
    int modeValue;
    const char* padding;
    int paddingValue;
  } cases[] = {{"ecb", MODE_ECB, "zero", PAD_ZERO},
               {"cbc", MODE_CBC, "space", PAD_SPACE},
               {"cfb", MODE_CFB, "count", PAD_COUNT}};
  for (const auto& c : cases) {
    const Invocation invocation = ParseCommandLine(
        {"encrypt", "--mode", c.mode, "--padding=" + std::string(c.padding), "in", "out"});
    EXPECT_EQ(invocation.options.mode, c.modeValue) << c.mode;
    EXPECT_EQ(invocation.options.padding, c.paddingValue) << c.padding;
  }
}

TEST(CommandLine, OptionsSetWhatTheySay) {
  Invocation invocation = ParseCommandLine(
      {"load", "--strip", "--force", "--key-env", "K", "--progress", "--", "-in", "out"});
  EXPECT_EQ(invocation.action, Invocation::Action::kRun);
  const Options& o = invocation.options;
  EXPECT_EQ(o.command, Command::kLoad);
  EXPECT_TRUE(o.strip);
  EXPECT_TRUE(o.force);
  EXPECT_EQ(o.key.source, KeyOrigin::kEnvironment);
  EXPECT_EQ(o.key.argument, "K");
  EXPECT_EQ(o.progress, ProgressMode::kAlways);
  EXPECT_EQ(o.operands, (std::vector<std::string>{"-in", "out"}));
  EXPECT_EQ(EffectiveKeyLength(o), 16);

  invocation = ParseCommandLine({"encrypt", "--quiet", "--key-size", "32", "--block-size=24",
                                 "--iv", std::string(48, 'a'), "-", "-"});
  EXPECT_EQ(invocation.options.progress, ProgressMode::kNever);
  EXPECT_EQ(invocation.options.keySize, 32);
  EXPECT_EQ(invocation.options.blockSize, 24);
  EXPECT_EQ(invocation.options.iv->size(), 24u);
  EXPECT_EQ(EffectiveKeyLength(invocation.options), 32);
  EXPECT_EQ(ParseCommandLine({"save", "a", "b"}).options.progress, ProgressMode::kAuto);
}

TEST(CommandLine, HelpWinsUpToADoubleDash) {
  EXPECT_EQ(ParseCommandLine({"save", "--bogus", "-h"}).action, Invocation::Action::kHelp);
  EXPECT_EQ(*ParseCommandLine({"verify", "a", "b", "--help"}).command, Command::kVerify);
  EXPECT_EQ(ParseCommandLine({"--version"}).action, Invocation::Action::kVersion);
  EXPECT_THROW(ParseCommandLine({"save", "--", "--help"}), UsageError);
}

}  // namespace
}  // namespace vantry::tool
