// The vantry tool run as a user runs it: exit codes, exact messages, standard streams, what is
// left on disk, and agreement with the library it is built on.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/cli_runner.h"
#include "support/test_support.h"
#include "vantry/machine_key.h"
#include "vantry/rijndael_cipher.h"
#include "vantry/vantry.h"

namespace vantry::test {
namespace {

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string ReadText(const std::string& path) { return Text(ReadFile(path)); }
void WriteText(const std::string& path, const std::string& text) { WriteFile(path, ToBytes(text)); }

// What the library itself writes for data under a key text (nullptr: the machine key).
Bytes LibrarySave(const Bytes& data, const char* key, const std::string& path) {
  SaveVantryWithKey2(data.data(), static_cast<std::int32_t>(data.size()), path.c_str(), key);
  return ReadFile(path);
}

// What the library's load returns for a protected file.
Bytes LibraryLoad(const std::string& path, const char* key) {
  std::int32_t length = 0;
  std::unique_ptr<unsigned char, void (*)(void*)> block(
      LoadVantryWithKey2(path.c_str(), &length, key), &FreeVantryBuffer);
  return Bytes(block.get(), block.get() + length);
}

Bytes SampleData(std::size_t size, unsigned seed) {
  std::mt19937_64 rng(seed);
  Bytes data = RandomBytes(rng, size);
  if (!data.empty() && data.back() == 0) {
    data.back() = 1;  // so that --strip gives exactly the data back
  }
  return data;
}

std::string Usage(const std::string& message, const std::string& help = "vantry --help") {
  return "vantry: " + message + "\nTry '" + help + "' for more information.\n";
}

class Cli : public ::testing::Test {
 protected:
  ToolResult Run(const std::vector<std::string>& args, const std::string& input = "",
                 std::vector<std::string> setEnv = {}, std::vector<std::string> unsetEnv = {}) {
    ToolRun run;
    run.args = args;
    run.input = input;
    // The tool's scratch folders go here, and must be gone when it ends.
    setEnv.push_back("TMPDIR=" + m_scratch.path());
    run.setEnv = std::move(setEnv);
    run.unsetEnv = std::move(unsetEnv);
    run.workingFolder = m_dir.path();
    return RunTool(run);
  }

  void TearDown() override { EXPECT_EQ(m_scratch.Entries(), std::vector<std::string>{}); }

  std::string File(const std::string& name) const { return m_dir.File(name); }
  std::vector<std::string> Entries() const { return m_dir.Entries(); }

  // A key file holding text, and its path.
  std::string KeyFile(const std::string& text, const std::string& name = "key.txt") {
    WriteText(File(name), text);
    return File(name);
  }

  TempDir m_dir;
  TempDir m_scratch;
};

// ---------------------------------------------------------------------------------------------
// Usage errors: exit 2, the message and a pointer to the right help, nothing written.

struct UsageCase {
  std::vector<std::string> args;
  std::string message;
  std::string help;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
void PrintTo(const UsageCase& c, std::ostream* os) {
  *os << "vantry";
  for (const auto& a : c.args) *os << ' ' << a;
}

class CliUsage : public Cli, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(CliUsage, ExitTwoWithMessageAndNothingWritten) {
  WriteText(File("in"), "data");
  const ToolResult r = Run(GetParam().args);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, Usage(GetParam().message, GetParam().help));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Entries(), std::vector<std::string>{"in"});
}

const std::string kIv16 = "00112233445566778899aabbccddeeff";

INSTANTIATE_TEST_SUITE_P(
    Lines, CliUsage,
    // Every parser case runs in process (command_line_test.cpp); these few show that main turns
    // a usage error into exit 2, the message and the pointer to the right help.
    ::testing::Values(UsageCase{{}, "no command given", "vantry --help"},
                      UsageCase{{"save", "--strip", "in", "out"},
                                "option --strip does not apply to save",
                                "vantry save --help"},
                      UsageCase{{"save", "--key-file", "-", "-", "out"},
                                "standard input cannot give both the key and INPUT",
                                "vantry save --help"}));

// ---------------------------------------------------------------------------------------------
// Help and version.

struct HelpCase {
  std::vector<std::string> args;
  std::string startsWith;
  std::string mentions;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
void PrintTo(const HelpCase& c, std::ostream* os) {
  *os << "vantry";
  for (const auto& a : c.args) *os << ' ' << a;
}

class CliHelp : public Cli, public ::testing::WithParamInterface<HelpCase> {};

TEST_P(CliHelp, PrintsOnStandardOutputAndSucceeds) {
  const ToolResult r = Run(GetParam().args);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.rfind(GetParam().startsWith, 0), 0u) << r.out;
  EXPECT_NE(r.out.find(GetParam().mentions), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CliHelp,
    ::testing::Values(
        HelpCase{{"--help"}, "Usage: vantry COMMAND", "machine-key"},
        HelpCase{{"-h"}, "Usage: vantry COMMAND", "Exit status: 0 success, 1 failure"},
        HelpCase{{"save", "--help"}, "Usage: vantry save [OPTIONS] INPUT OUTPUT", "--key-env"},
        HelpCase{{"load", "-h"}, "Usage: vantry load [OPTIONS] INPUT OUTPUT", "for text only"},
        HelpCase{{"load", "--help"}, "Usage: vantry load", "tar and gzip files and most binaries"},
        HelpCase{{"encrypt", "--help"}, "Usage: vantry encrypt", "--key-hex-file"},
        HelpCase{{"decrypt", "--help"}, "Usage: vantry decrypt", "--in-memory"},
        HelpCase{{"verify", "--help"}, "Usage: vantry verify [OPTIONS] FILE", "--padding"},
        HelpCase{{"machine-key", "--help"}, "Usage: vantry machine-key", "XXXX-XXXX"},
        // Help wins over mistakes elsewhere on the line.
        HelpCase{{"save", "--bogus", "--help"}, "Usage: vantry save", "--force"},
        HelpCase{{"verify", "a", "b", "c", "-h"}, "Usage: vantry verify", "FILE"}));

TEST_F(Cli, VersionIsTheProjectVersion) {
  const ToolResult r = Run({"--version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, std::string("vantry ") + VANTRY_VERSION + "\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(Cli, MachineKeyIsTheLibrarys) {
  const ToolResult r = Run({"machine-key"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, GetMachineKey() + "\n");
}

// ---------------------------------------------------------------------------------------------
// save and load agree with the library, over sizes around every boundary.

class CliSizes : public Cli, public ::testing::WithParamInterface<int> {};

TEST_P(CliSizes, SaveAndLoadAgreeWithTheLibrary) {
  const Bytes data = SampleData(static_cast<std::size_t>(GetParam()), 7u + GetParam());
  WriteFile(File("plain"), data);
  const std::string key = KeyFile("a key text for the tool\n");

  ToolResult r = Run({"save", "--key-file", key, "plain", "saved.vty"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(ToHex(ReadFile(File("saved.vty"))),
            ToHex(LibrarySave(data, "a key text for the tool", File("library.vty"))));

  r = Run({"load", "--key-file", key, "saved.vty", "loaded"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ToHex(ReadFile(File("loaded"))),
            ToHex(LibraryLoad(File("saved.vty"), "a key text for the tool")));

  r = Run({"load", "--strip", "--key-file", key, "saved.vty", "stripped"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ToHex(ReadFile(File("stripped"))), ToHex(data));

  // encrypt with every default writes the very file of save, streaming or in memory; decrypt
  // reads it back with the fill, and in memory also the 32 zero bytes of the library's load.
  r = Run({"encrypt", "--key-file", key, "plain", "encrypted.vty"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ToHex(ReadFile(File("encrypted.vty"))), ToHex(ReadFile(File("saved.vty"))));
  r = Run({"encrypt", "--in-memory", "--key-file", key, "plain", "encrypted-mem.vty"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ToHex(ReadFile(File("encrypted-mem.vty"))), ToHex(ReadFile(File("saved.vty"))));

  Bytes filled = data;
  filled.resize((data.size() + 15) / 16 * 16, 0);
  r = Run({"decrypt", "--key-file", key, "saved.vty", "decrypted"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ToHex(ReadFile(File("decrypted"))), ToHex(filled));
  r = Run({"decrypt", "--in-memory", "--key-file", key, "saved.vty", "decrypted-mem"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ToHex(ReadFile(File("decrypted-mem"))), ToHex(ReadFile(File("loaded"))));
}

INSTANTIATE_TEST_SUITE_P(Boundaries, CliSizes,
                         ::testing::Values(0, 1, 15, 16, 17, 383, 384, 385, 511, 512, 513, 1023,
                                           1024, 1025, 100000));

TEST_F(Cli, StripAlsoDropsZeroBytesThatEndedTheData) {
  const Bytes data = {'a', 'b', 0, 0, 0};
  WriteFile(File("plain"), data);
  const std::string key = KeyFile("k");
  ASSERT_EQ(Run({"save", "--key-file", key, "plain", "saved.vty"}).exitCode, 0);
  ASSERT_EQ(Run({"load", "--strip", "--key-file", key, "saved.vty", "out"}).exitCode, 0);
  EXPECT_EQ(ReadText(File("out")), "ab");
}

// ---------------------------------------------------------------------------------------------
// Key sources: each gives the key text the library is then given.

struct KeySourceCase {
  std::string name;
  std::vector<std::string> options;  // "{key}" stands for the key file's path
  std::string keyFileContent;
  std::string input;
  std::vector<std::string> env;
  const char* libraryKey;  // nullptr: the machine key
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
void PrintTo(const KeySourceCase& c, std::ostream* os) { *os << c.name; }

class CliKeySources : public Cli, public ::testing::WithParamInterface<KeySourceCase> {};

TEST_P(CliKeySources, SaveUsesExactlyThisKeyText) {
  const Bytes data = SampleData(100, 3);
  WriteFile(File("plain"), data);
  const std::string keyPath = KeyFile(GetParam().keyFileContent);
  std::vector<std::string> args = {"save"};
  for (std::string option : GetParam().options) {
    const std::size_t at = option.find("{key}");
    if (at != std::string::npos) {
      option.replace(at, 5, keyPath);
    }
    args.push_back(option);
  }
  args.push_back("plain");
  args.push_back("saved.vty");
  const ToolResult r = Run(args, GetParam().input, GetParam().env);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ToHex(ReadFile(File("saved.vty"))),
            ToHex(LibrarySave(data, GetParam().libraryKey, File("library.vty"))));
  // And load with the same options reads it.
  args[0] = "load";
  args[args.size() - 2] = "saved.vty";
  args.back() = "loaded";
  const ToolResult load = Run(args, GetParam().input, GetParam().env);
  ASSERT_EQ(load.exitCode, 0) << load.err;
  EXPECT_EQ(ToHex(ReadFile(File("loaded"))),
            ToHex(LibraryLoad(File("saved.vty"), GetParam().libraryKey)));
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CliKeySources,
    ::testing::Values(
        KeySourceCase{"MachineByDefault", {}, "", "", {}, nullptr},
        KeySourceCase{"FileWithoutLineEnd", {"--key-file", "{key}"}, "secret", "", {}, "secret"},
        KeySourceCase{"FileDropsOneLineEnd", {"--key-file", "{key}"}, "secret\n", "", {}, "secret"},
        KeySourceCase{"FileDropsOneCrLf", {"--key-file", "{key}"}, "secret\r\n", "", {}, "secret"},
        KeySourceCase{
            "FileKeepsASecondLineEnd", {"--key-file", "{key}"}, "secret\n\n", "", {}, "secret\n"},
        KeySourceCase{
            "FileKeepsInnerBlanks", {"--key-file={key}"}, " two words \n", "", {}, " two words "},
        KeySourceCase{"StandardInput", {"--key-file", "-"}, "", "piped key\n", {}, "piped key"},
        KeySourceCase{"Environment",
                      {"--key-env", "VANTRY_TEST_KEY"},
                      "",
                      "",
                      {"VANTRY_TEST_KEY=from the environment"},
                      "from the environment"},
        KeySourceCase{"MachineKeyTextIsTheMachineKey",
                      {"--key-env", "VANTRY_TEST_KEY"},
                      "",
                      "",
                      {"VANTRY_TEST_KEY=" + GetMachineKey()},
                      nullptr}),
    [](const auto& info) { return info.param.name; });

struct KeyFailureCase {
  std::string name;
  std::vector<std::string> args;  // "{dir}" stands for the test folder
  std::string keyFileContent;
  std::vector<std::string> env;
  std::string message;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
void PrintTo(const KeyFailureCase& c, std::ostream* os) { *os << c.name; }

class CliKeyFailures : public Cli, public ::testing::WithParamInterface<KeyFailureCase> {};

TEST_P(CliKeyFailures, FailWithTheReasonAndNoOutput) {
  WriteText(File("in"), "data");
  KeyFile(GetParam().keyFileContent, "key.txt");
  std::vector<std::string> args;
  for (std::string arg : GetParam().args) {
    const std::size_t at = arg.find("{dir}");
    if (at != std::string::npos) {
      arg.replace(at, 5, m_dir.path());
    }
    args.push_back(arg);
  }
  const ToolResult r = Run(args, "", GetParam().env, {"VANTRY_UNSET"});
  std::string message = GetParam().message;
  const std::size_t at = message.find("{dir}");
  if (at != std::string::npos) {
    message.replace(at, 5, m_dir.path());
  }
  // verify without a key could not check anything: 2, not the 1 of "does not match".
  EXPECT_EQ(r.exitCode, args[0] == "verify" ? 2 : 1);
  EXPECT_EQ(r.err, "vantry: error: " + message + "\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"in", "key.txt"}));
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CliKeyFailures,
    ::testing::Values(
        KeyFailureCase{"MissingKeyFile",
                       {"save", "--key-file", "{dir}/nokey", "in", "out"},
                       "",
                       {},
                       "cannot open '{dir}/nokey': No such file or directory"},
        KeyFailureCase{"KeyFileIsAFolder",
                       {"encrypt", "--key-file", "{dir}", "in", "out"},
                       "",
                       {},
                       "cannot open '{dir}': Is a directory"},
        KeyFailureCase{"EmptyKeyFile",
                       {"save", "--key-file", "key.txt", "in", "out"},
                       "",
                       {},
                       "the key text from 'key.txt' is empty"},
        KeyFailureCase{"KeyFileOfALineEndOnly",
                       {"load", "--key-file", "key.txt", "in", "out"},
                       "\n",
                       {},
                       "the key text from 'key.txt' is empty"},
        KeyFailureCase{"EmptyStandardInput",
                       {"save", "--key-file", "-", "in", "out"},
                       "",
                       {},
                       "the key text from standard input is empty"},
        KeyFailureCase{"UnsetVariable",
                       {"save", "--key-env", "VANTRY_UNSET", "in", "out"},
                       "",
                       {},
                       "the environment variable VANTRY_UNSET is not set"},
        KeyFailureCase{"EmptyVariable",
                       {"verify", "--key-env", "VANTRY_EMPTY", "in"},
                       "",
                       {"VANTRY_EMPTY="},
                       "the key text from the environment variable VANTRY_EMPTY is empty"},
        KeyFailureCase{"HexFileNotHex",
                       {"encrypt", "--key-hex-file", "key.txt", "in", "out"},
                       "0123456789abcdefg",
                       {},
                       "the key data in 'key.txt' is not hexadecimal (two digits for each byte)"},
        KeyFailureCase{"HexFileOddDigits",
                       {"decrypt", "--key-hex-file", "key.txt", "in", "out"},
                       "abc",
                       {},
                       "the key data in 'key.txt' is not hexadecimal (two digits for each byte)"},
        KeyFailureCase{"HexFileEmpty",
                       {"verify", "--key-hex-file", "key.txt", "in"},
                       " \n",
                       {},
                       "there is no key data in 'key.txt'"},
        KeyFailureCase{"AskWithoutTerminal",
                       {"save", "--ask-key", "in", "out"},
                       "",
                       {},
                       "cannot ask for the key: there is no terminal"}),
    [](const auto& info) { return info.param.name; });

TEST_F(Cli, HexKeyDataEqualToTheKeyTextGivesTheSameFile) {
  const Bytes data = SampleData(300, 11);
  WriteFile(File("plain"), data);
  const std::string text = KeyFile("0123456789abcdef", "text.key");
  // The same 16 bytes, wrapped and in mixed case.
  const std::string hex = KeyFile("30313233 34353637\n3839616263646566\r\n", "hex.key");
  ASSERT_EQ(Run({"encrypt", "--key-file", text, "plain", "a.vty"}).exitCode, 0);
  ASSERT_EQ(Run({"encrypt", "--key-hex-file", hex, "plain", "b.vty"}).exitCode, 0);
  EXPECT_EQ(ToHex(ReadFile(File("a.vty"))), ToHex(ReadFile(File("b.vty"))));
  const ToolResult r = Run({"verify", "--key-hex-file", hex, "a.vty"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

// ---------------------------------------------------------------------------------------------
// encrypt and decrypt over every cipher parameter.

struct CipherCase {
  std::string blockSize;
  std::string keySize;
  std::string mode;
  std::string padding;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
void PrintTo(const CipherCase& c, std::ostream* os) {
  *os << "block " << c.blockSize << " key " << c.keySize << " " << c.mode << " " << c.padding;
}

class CliCipherParameters : public Cli, public ::testing::WithParamInterface<CipherCase> {};

TEST_P(CliCipherParameters, RoundTripKeepsTheFillAndVerifyKnowsTheParameters) {
  const CipherCase& c = GetParam();
  const std::size_t block = static_cast<std::size_t>(std::stoi(c.blockSize));
  const Bytes data = SampleData(1000, static_cast<unsigned>(block) * 7u);
  WriteFile(File("plain"), data);
  const std::string key = KeyFile("parameters key text, longer than 32 characters");
  const std::vector<std::string> parameters = {"--block-size", c.blockSize, "--key-size", c.keySize,
                                               "--mode",       c.mode,      "--padding",  c.padding,
                                               "--key-file",   key};
  auto with = [&](std::vector<std::string> args) {
    args.insert(args.begin() + 1, parameters.begin(), parameters.end());
    return args;
  };
  ToolResult r = Run(with({"encrypt", "plain", "enc"}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::size_t filledSize = (data.size() + block - 1) / block * block;
  EXPECT_EQ(ReadFile(File("enc")).size(), 32 + filledSize);
  r = Run(with({"encrypt", "--in-memory", "plain", "enc-mem"}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ToHex(ReadFile(File("enc-mem"))), ToHex(ReadFile(File("enc"))));

  r = Run(with({"decrypt", "enc", "dec"}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Bytes expected = data;
  const unsigned char fill = c.padding == "zero" ? 0
                             : c.padding == "space"
                                 ? ' '
                                 : static_cast<unsigned char>(filledSize - data.size());
  expected.resize(filledSize, fill);
  EXPECT_EQ(ToHex(ReadFile(File("dec"))), ToHex(expected));

  r = Run(with({"verify", "enc"}));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "enc: the key matches\n");
  // The protected files of save are not these unless every parameter is the default.
  r = Run({"verify", "--key-file", key, "enc"});
  const bool defaults =
      c.blockSize == "16" && c.keySize == "16" && c.mode == "ecb" && c.padding == "zero";
  EXPECT_EQ(r.exitCode, defaults ? 0 : 1) << r.err;
}

std::vector<CipherCase> AllCipherCases() {
  std::vector<CipherCase> cases;
  for (const char* blockSize : {"16", "24", "32"}) {
    for (const char* keySize : {"16", "24", "32"}) {
      for (const char* mode : {"ecb", "cbc", "cfb"}) {
        for (const char* padding : {"zero", "space", "count"}) {
          cases.push_back({blockSize, keySize, mode, padding});
        }
      }
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Every, CliCipherParameters, ::testing::ValuesIn(AllCipherCases()),
                         [](const auto& info) {
                           const CipherCase& c = info.param;
                           return "B" + c.blockSize + "K" + c.keySize + c.mode + c.padding;
                         });

TEST_F(Cli, ChainBlockIsTheFixedOneExtendedWithZeroBytesUnlessGiven) {
  const Bytes data = SampleData(500, 5);
  WriteFile(File("plain"), data);
  const std::string key = KeyFile("iv key");
  const std::string fixed24 = "7e1bc45209a83fd6612c95e04b78d3170000000000000000";
  auto encrypt = [&](const std::string& out, std::vector<std::string> extra) {
    std::vector<std::string> args = {"encrypt", "--key-file", key, "--mode", "cbc"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("plain");
    args.push_back(out);
    const ToolResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return ReadFile(File(out));
  };
  EXPECT_EQ(ToHex(encrypt("default16", {})),
            ToHex(encrypt("given16", {"--iv", "7E1BC45209A83FD6612C95E04B78D317"})));
  EXPECT_EQ(ToHex(encrypt("default24", {"--block-size", "24"})),
            ToHex(encrypt("given24", {"--block-size", "24", "--iv", fixed24})));
  const Bytes other = encrypt("other", {"--iv", kIv16});
  EXPECT_NE(ToHex(other), ToHex(ReadFile(File("default16"))));

  // The chain block is not part of the key check: a wrong one passes the header and garbles
  // the first block only.
  const ToolResult r = Run({"decrypt", "--key-file", key, "--mode", "cbc", "other", "back"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const Bytes back = ReadFile(File("back"));
  ASSERT_EQ(back.size(), 512u);
  EXPECT_NE(ToHex(Bytes(back.begin(), back.begin() + 16)),
            ToHex(Bytes(data.begin(), data.begin() + 16)));
  EXPECT_EQ(ToHex(Bytes(back.begin() + 16, back.begin() + 500)),
            ToHex(Bytes(data.begin() + 16, data.end())));
}

// ---------------------------------------------------------------------------------------------
// verify.

TEST_F(Cli, VerifyTellsMatchFromMismatchWithoutDecrypting) {
  // 16 characters or more: a shorter key text ends in zero bytes, which end the text the
  // digest covers before the parameters.
  const std::string key = KeyFile("verify key text of 16+ characters");
  const std::string wrong = KeyFile("another key, also long", "wrong.key");
  const std::string shortKey = KeyFile("short key", "short.key");
  WriteText(File("plain"), "some data");
  ASSERT_EQ(Run({"save", "--key-file", key, "plain", "p.vty"}).exitCode, 0);
  Bytes headerOnly = ReadFile(File("p.vty"));
  headerOnly.resize(32);  // the cipher text is not looked at
  WriteFile(File("header.vty"), headerOnly);
  WriteFile(File("short.vty"), Bytes(headerOnly.begin(), headerOnly.begin() + 31));
  ASSERT_EQ(Run({"save", "--key-file", shortKey, "plain", "s.vty"}).exitCode, 0);

  struct Case {
    std::vector<std::string> args;
    std::string input;
    int exitCode;
    std::string out;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"verify", "--key-file", key, "p.vty"}, "", 0, "p.vty: the key matches\n", ""},
      {{"verify", "--key-file", key, "header.vty"}, "", 0, "header.vty: the key matches\n", ""},
      {{"verify", "--key-file", key, "-"},
       Text(ReadFile(File("p.vty"))),
       0,
       "-: the key matches\n",
       ""},
      {{"verify", "--key-file", wrong, "p.vty"},
       "",
       1,
       "",
       "vantry: error: 'p.vty' was not protected with this key and these parameters, or is no "
       "protected file (nor a sealed one)\n"},
      {{"verify", "--key-file", key, "--padding", "count", "p.vty"},
       "",
       1,
       "",
       "vantry: error: 'p.vty' was not protected with this key and these parameters, or is no "
       "protected file (nor a sealed one)\n"},
      {{"verify", "p.vty"},
       "",
       1,
       "",
       "vantry: error: 'p.vty' was not protected with this key and these parameters, or is no "
       "protected file (nor a sealed one)\n"},
      {{"verify", "--key-file", wrong, "-"},
       Text(ReadFile(File("p.vty"))),
       1,
       "",
       "vantry: error: standard input was not protected with this key and these parameters, or is "
       "no protected file (nor a sealed one)\n"},
      {{"verify", "--key-file", key, "short.vty"},
       "",
       1,
       "",
       "vantry: error: 'short.vty' is too short to be a protected file\n"},
      {{"verify", "--key-file", key, "missing.vty"},
       "",
       2,
       "",
       "vantry: error: cannot open 'missing.vty': No such file or directory\n"},
  };
  for (const Case& c : cases) {
    const ToolResult r = Run(c.args, c.input);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args.back();
    EXPECT_EQ(r.out, c.out) << c.args.back();
    EXPECT_EQ(r.err, c.err) << c.args.back();
  }
}

// ---------------------------------------------------------------------------------------------
// Standard input and output.

TEST_F(Cli, DashIsStandardInputAndOutputForEveryCommand) {
  const Bytes data = SampleData(777, 9);
  WriteFile(File("plain"), data);
  const std::string key = KeyFile("dash key of 16+ characters");
  ASSERT_EQ(Run({"save", "--key-file", key, "plain", "ref.vty"}).exitCode, 0);
  const std::string reference = Text(ReadFile(File("ref.vty")));
  const std::string plain = Text(data);
  const std::string loaded = Text(LibraryLoad(File("ref.vty"), "dash key of 16+ characters"));
  std::string filled = plain;
  filled.resize((plain.size() + 15) / 16 * 16, '\0');

  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{"save", "--key-file", key, "-", "-"}, plain, reference},
      {{"save", "--key-file", key, "plain", "-"}, "", reference},
      {{"load", "--key-file", key, "-", "-"}, reference, loaded},
      {{"load", "--key-file", key, "ref.vty", "-"}, "", loaded},
      {{"load", "--strip", "--key-file", key, "-", "-"}, reference, plain},
      {{"encrypt", "--key-file", key, "-", "-"}, plain, reference},
      {{"encrypt", "--in-memory", "--key-file", key, "-", "-"}, plain, reference},
      {{"decrypt", "--key-file", key, "-", "-"}, reference, filled},
      {{"decrypt", "--in-memory", "--key-file", key, "-", "-"}, reference, loaded},
  };
  for (const Case& c : cases) {
    const ToolResult r = Run(c.args, c.input);
    EXPECT_EQ(r.exitCode, 0) << c.args[0] << " " << r.err;
    EXPECT_EQ(ToHex(ToBytes(r.out)), ToHex(ToBytes(c.out))) << c.args[0];
    EXPECT_EQ(r.err, "");
  }
  // Standard input to a file.
  ASSERT_EQ(Run({"save", "--key-file", key, "-", "from-stdin.vty"}, plain).exitCode, 0);
  EXPECT_EQ(Text(ReadFile(File("from-stdin.vty"))), reference);
}

TEST_F(Cli, MessagesNameStandardStreamsAsDash) {
  const std::string key = KeyFile("the right key text");
  const std::string wrong = KeyFile("the wrong key text", "wrong.key");
  WriteText(File("plain"), "x");
  ASSERT_EQ(Run({"save", "--key-file", key, "plain", "p.vty"}).exitCode, 0);
  const std::string protectedText = Text(ReadFile(File("p.vty")));
  for (const char* command : {"load", "decrypt"}) {
    const ToolResult r = Run({command, "--key-file", wrong, "-", "-"}, protectedText);
    EXPECT_EQ(r.exitCode, 1) << command;
    EXPECT_EQ(
        r.err.rfind("vantry: error: cannot decrypt standard input: the key does not match", 0), 0u)
        << r.err;
    EXPECT_EQ(r.out, "") << command;
  }
}

// ---------------------------------------------------------------------------------------------
// Failures of the operation: exit 1, the library's message, and nothing left behind.

TEST_F(Cli, ExistingOutputIsReplacedOnlyWithForce) {
  const std::string key = KeyFile("force key, long enough");
  WriteText(File("plain"), "plain text");
  ASSERT_EQ(Run({"save", "--key-file", key, "plain", "p.vty"}).exitCode, 0);
  const std::vector<std::vector<std::string>> commands = {
      {"save", "--key-file", key, "plain"},
      {"load", "--key-file", key, "p.vty"},
      {"encrypt", "--key-file", key, "plain"},
      {"decrypt", "--key-file", key, "p.vty"},
      {"encrypt", "--in-memory", "--key-file", key, "plain"},
  };
  for (std::vector<std::string> args : commands) {
    WriteText(File("existing"), "keep me");
    args.push_back("existing");
    ToolResult r = Run(args);
    EXPECT_EQ(r.exitCode, 1) << args[0];
    EXPECT_EQ(r.err, "vantry: error: 'existing' exists; use --force to replace it\n") << args[0];
    EXPECT_EQ(ReadText(File("existing")), "keep me") << args[0];

    args.insert(args.begin() + 1, "--force");
    r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << args[0] << r.err;
    EXPECT_NE(ReadText(File("existing")), "keep me") << args[0];
  }
  EXPECT_EQ(Entries(), (std::vector<std::string>{"existing", "key.txt", "p.vty", "plain"}));
}

TEST_F(Cli, FailedOperationsLeaveNoOutputBehind) {
  const std::string key = KeyFile("the right key text");
  const std::string wrong = KeyFile("the wrong key text", "wrong.key");
  WriteText(File("plain"), "the plain text");
  ASSERT_EQ(Run({"save", "--key-file", key, "plain", "p.vty"}).exitCode, 0);
  Bytes cut = ReadFile(File("p.vty"));
  cut.resize(32 + 20);
  WriteFile(File("cut.vty"), cut);
  const std::vector<std::string> before = Entries();
  // The tool's own words for the library's "cannot be Correctly Decrypted!" and "Illegal Block
  // Size!": what may be wrong, and that the file is damaged or cut.
  const std::string wrongKey =
      "cannot decrypt 'p.vty': the key does not match (or it is not a "
      "protected file, or ";
  const std::string cannotLoad = wrongKey + "encrypt protected it with other cipher options)";
  const std::string cannotDecrypt =
      wrongKey + "other --block-size, --key-size, --mode or --padding options protected it)";
  const std::string cutText =
      "cannot decrypt 'cut.vty': the file is damaged or cut (its cipher text is not whole "
      "blocks: Illegal Block Size!)";

  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"load", "--key-file", wrong, "p.vty", "out"}, cannotLoad},
      {{"decrypt", "--key-file", wrong, "p.vty", "out"}, cannotDecrypt},
      {{"decrypt", "--in-memory", "--key-file", wrong, "p.vty", "out"}, cannotDecrypt},
      {{"load", "--key-file", key, "cut.vty", "out"}, cutText},
      {{"decrypt", "--in-memory", "--key-file", key, "cut.vty", "out"}, cutText},
      {{"load", "--key-file", key, "missing.vty", "out"},
       "cannot open 'missing.vty': No such file or directory"},
      {{"load", "--key-file", key, "missing.vty", "-"},
       "cannot open 'missing.vty': No such file or directory"},
      {{"save", "--key-file", key, "missing", "out"},
       "cannot open 'missing': No such file or directory"},
      {{"save", "--key-file", key, "plain", "no-folder/out"},
       "cannot create 'no-folder/out': No such file or directory"},
  };
  for (const Case& c : cases) {
    const ToolResult r = Run(c.args);
    EXPECT_EQ(r.exitCode, 1) << c.args[0];
    EXPECT_EQ(r.err, "vantry: error: " + c.err + "\n") << c.args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Entries(), before) << c.args[0];
  }
}

TEST_F(Cli, WrongKeyForEncryptedFileNamesTheInputAsGiven) {
  const std::string key = KeyFile("the right key text");
  const std::string wrong = KeyFile("the wrong key text", "wrong.key");
  WriteText(File("plain"), "the plain text");
  ASSERT_EQ(Run({"save", "--key-file", key, "plain", "p.vty"}).exitCode, 0);
  const ToolResult r = Run({"load", "--key-file", wrong, File("p.vty"), "out"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.rfind("vantry: error: cannot decrypt '" + File("p.vty") + "': the key", 0), 0u)
      << r.err;
}

// With --force too, which cannot help (devices and FIFOs with --force: CliHardening).
TEST_F(Cli, OutputsThatAreNoFilesAreRefusedWithTheReasonNotForce) {
  WriteText(File("plain"), "plain text");
  ASSERT_EQ(::mkfifo(File("fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(File("folder").c_str(), 0700), 0);
  const std::string written = " OUTPUT is written as a new file put in place whole";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"save", "plain", "folder"}, "'folder' is a folder; OUTPUT names the file to write"},
      {{"save", "--force", "plain", "folder"}, "'folder' is a folder; OUTPUT names the file"},
      {{"save", "plain", "fifo"}, "'fifo' is a FIFO:" + written},
      {{"save", "plain", "/dev/null"}, "'/dev/null' is a device:" + written},
  };
  for (const auto& [args, reason] : cases) {
    const ToolResult r = Run(args);
    EXPECT_EQ(r.exitCode, 1) << args.back();
    EXPECT_EQ(r.err.rfind("vantry: error: " + reason, 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("--force"), std::string::npos) << r.err;
  }
}

// ---------------------------------------------------------------------------------------------
// The terminal.

TEST_F(Cli, AskKeyReadsTheTerminalWithoutEchoAndConfirmsWhenProtecting) {
  const Bytes data = SampleData(64, 1);
  WriteFile(File("plain"), data);
  const std::string typedKey = "typed secret";
  ToolResult r = RunToolOnTerminal({"save", "--ask-key", File("plain"), File("p.vty")},
                                   {"Key: ", "Repeat the key: "}, {typedKey, typedKey});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out.find(typedKey), std::string::npos) << "the key was echoed: " << r.out;
  EXPECT_EQ(ToHex(ReadFile(File("p.vty"))),
            ToHex(LibrarySave(data, typedKey.c_str(), File("library.vty"))));

  // Reading asks once.
  r = RunToolOnTerminal({"verify", "--ask-key", File("p.vty")}, {"Key: "}, {typedKey});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find(File("p.vty") + ": the key matches"), std::string::npos) << r.out;

  r = RunToolOnTerminal({"encrypt", "--ask-key", File("plain"), File("e.vty")},
                        {"Key: ", "Repeat the key: "}, {typedKey, "typed secreT"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("vantry: error: the two keys typed differ"), std::string::npos) << r.out;
  EXPECT_FALSE(FileExists(File("e.vty")));

  r = RunToolOnTerminal({"load", "--ask-key", File("p.vty"), File("out")}, {"Key: "}, {""});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("vantry: error: the key text from the terminal is empty"), std::string::npos)
      << r.out;
}

TEST_F(Cli, StandardOutputNamedAsOutputIsWrittenToATerminalToo) {
  const std::string key = KeyFile("terminal key, long enough");
  WriteText(File("plain"), "plain text on the terminal");
  ASSERT_EQ(Run({"save", "--key-file", key, "plain", "p.vty"}).exitCode, 0);
  const ToolResult r =
      RunToolOnTerminal({"load", "--strip", "--key-file", key, File("p.vty"), "-"}, {}, {});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, "plain text on the terminal") << r.out;
}

}  // namespace
}  // namespace vantry::test
