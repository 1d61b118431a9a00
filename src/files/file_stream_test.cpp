// EncryptFileStream / DecryptFileStream: round trips over every keying, agreement with the
// memory-backed pair, and every failure with its message, its order and what it leaves on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "files/files_test_util.h"
#include "support/bad_files.h"

namespace vantry::test {
namespace {

namespace fs = std::filesystem;

using Keying = std::tuple<int /*keyLength*/, int /*blockSize*/, int /*mode*/, int /*padding*/>;

class FileStreamRoundTripTest : public ::testing::TestWithParam<Keying> {};

TEST_P(FileStreamRoundTripTest, DecryptGivesInputAndFillAndEncryptFileAgrees) {
  const auto [keyLength, blockSize, mode, padding] = GetParam();
  TempDir dir;
  const std::string plain = dir.File("plain.bin");
  const std::string streamed = dir.File("streamed.bin");
  const std::string viaMemory = dir.File("via-memory.bin");
  const std::string decrypted = dir.File("decrypted.bin");
  auto cipher = KeyedCipher(keyLength, blockSize, mode, padding);

  for (std::size_t size : {0, 1, 383, 384, 385, 1025, 5000}) {
    SCOPED_TRACE(size);
    const Bytes data = PatternBytes(size);
    const Bytes fill = Fill(size, blockSize, padding);
    WriteFile(plain, data);

    cipher->EncryptFileStream(plain, streamed);
    const Bytes protectedBytes = ReadFile(streamed);
    ASSERT_EQ(protectedBytes.size(), 32 + size + fill.size());

    cipher->EncryptFile(plain, viaMemory);
    EXPECT_EQ(ReadFile(viaMemory), protectedBytes);

    cipher->DecryptFileStream(streamed, decrypted);
    EXPECT_EQ(ReadFile(decrypted), Concat(data, fill));
  }
}

INSTANTIATE_TEST_SUITE_P(EveryKeying, FileStreamRoundTripTest,
                         ::testing::Combine(::testing::Values(16, 24, 32),
                                            ::testing::Values(16, 24, 32),
                                            ::testing::Values(MODE_ECB, MODE_CBC, MODE_CFB),
                                            ::testing::Values(PAD_ZERO, PAD_SPACE, PAD_COUNT)));

// Each call resets the chain itself: the same input encrypted twice gives the same file.
TEST(FileStreamTest, RepeatedCallsOnOneCipherGiveTheSameFile) {
  TempDir dir;
  auto cipher = KeyedCipher(16, 16, MODE_CBC, PAD_COUNT);
  WriteFile(dir.File("plain"), PatternBytes(1000));
  cipher->EncryptFileStream(dir.File("plain"), dir.File("first"));
  cipher->EncryptFileStream(dir.File("plain"), dir.File("second"));
  EXPECT_EQ(ReadFile(dir.File("first")), ReadFile(dir.File("second")));
}

TEST(FileStreamTest, OutputReplacesALongerExistingFileCompletely) {
  TempDir dir;
  auto cipher = KeyedCipher(16, 16, MODE_ECB, PAD_ZERO);
  WriteFile(dir.File("plain"), PatternBytes(17));
  WriteFile(dir.File("out"), PatternBytes(5000, 9));
  cipher->EncryptFileStream(dir.File("plain"), dir.File("out"));
  EXPECT_EQ(ReadFile(dir.File("out")).size(), 32u + 32u);
  cipher->DecryptFileStream(dir.File("out"), dir.File("plain-again"));
  EXPECT_EQ(ReadFile(dir.File("plain-again")), Concat(PatternBytes(17), Bytes(15, 0)));
}

// Failures. Each case sets up a folder, runs one operation and names the message it expects;
// the folder must then hold exactly the files it held before (no output, no temporary).
struct FailureCase {
  const char* name;
  bool keyed;
  bool decrypt;
  std::string input;   // relative to the folder; "" stays ""
  std::string output;  // likewise
  std::function<std::string(const std::string& input, const std::string& output)> message;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
inline void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class FileStreamFailureTest : public ::testing::TestWithParam<FailureCase> {};

std::string In(const TempDir& dir, const std::string& name) {
  return name.empty() ? name : dir.File(name);
}

TEST_P(FileStreamFailureTest, RaisesItsMessageAndLeavesTheFolderAsItWas) {
  const FailureCase& c = GetParam();
  TempDir dir;
  auto keyed = KeyedCipher(16, 16, MODE_CBC, PAD_ZERO);
  WriteFile(dir.File("plain"), PatternBytes(100));
  keyed->EncryptFileStream(dir.File("plain"), dir.File("protected"));
  // Written under another key: its header is not this cipher's digest.
  KeyedCipher(16, 16, MODE_CBC, PAD_ZERO, kOtherKeyText)
      ->EncryptFileStream(dir.File("plain"), dir.File("foreign"));
  // A correct header followed by 20 bytes, which are not whole blocks.
  Bytes odd = ReadFile(dir.File("protected"));
  odd.resize(32 + 20);
  WriteFile(dir.File("odd"), odd);
  WriteFile(dir.File("existing"), PatternBytes(777, 5));
  fs::create_directory(dir.File("folder"));

  const std::vector<std::string> before = dir.Entries();
  std::vector<Bytes> contentBefore;
  for (const auto& entry : before) {
    contentBefore.push_back(entry == "folder" ? Bytes{} : ReadFile(dir.File(entry)));
  }

  CRijndaelCipher unkeyed;
  CRijndaelCipher& cipher = c.keyed ? *keyed : unkeyed;
  const std::string input = In(dir, c.input);
  const std::string output = In(dir, c.output);
  const std::string message = MessageOf([&] {
    if (c.decrypt) {
      cipher.DecryptFileStream(input, output);
    } else {
      cipher.EncryptFileStream(input, output);
    }
  });
  EXPECT_EQ(message, c.message(input, output));

  ASSERT_EQ(dir.Entries(), before);
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] != "folder") {
      EXPECT_EQ(ReadFile(dir.File(before[i])), contentBefore[i]) << before[i];
    }
  }
}

std::string NotInitialized(const std::string&, const std::string&) { return kNotInitializedText; }
std::string SameAsInput(const std::string& in, const std::string&) { return SameFile(in); }
std::string OpenInput(const std::string& in, const std::string&) { return CannotOpen(in); }
std::string OpenOutput(const std::string&, const std::string& out) { return CannotOpen(out); }
std::string Decryption(const std::string& in, const std::string&) { return CannotDecrypt(in); }
std::string BlockSize(const std::string&, const std::string&) { return kIllegalBlockSizeText; }

INSTANTIATE_TEST_SUITE_P(
    InOrder, FileStreamFailureTest,
    ::testing::Values(
        // Unkeyed comes first, whatever the names.
        FailureCase{"UnkeyedEncrypt", false, false, "plain", "new", NotInitialized},
        FailureCase{"UnkeyedDecryptSameMissingNames", false, true, "missing", "missing",
                    NotInitialized},
        FailureCase{"UnkeyedDecryptEmptyNames", false, true, "", "", NotInitialized},
        // Then the names, before anything is opened: the file itself is left alone.
        FailureCase{"SameNameEncrypt", true, false, "plain", "plain", SameAsInput},
        FailureCase{"SameNameDecrypt", true, true, "protected", "protected", SameAsInput},
        FailureCase{"SameMissingName", true, true, "missing", "missing", SameAsInput},
        FailureCase{"EmptyNames", true, false, "", "", SameAsInput},
        // Then the input, before the output is touched.
        FailureCase{"MissingInputEncrypt", true, false, "missing", "new", OpenInput},
        FailureCase{"MissingInputDecrypt", true, true, "missing", "existing", OpenInput},
        FailureCase{"MissingInputAndBadOutput", true, false, "missing", "no-dir/out", OpenInput},
        FailureCase{"FolderAsInput", true, false, "folder", "new", OpenInput},
        FailureCase{"EmptyInputName", true, false, "", "new", OpenInput},
        // Then the output.
        FailureCase{"OutputInMissingFolderEncrypt", true, false, "plain", "no-dir/out", OpenOutput},
        FailureCase{"OutputInMissingFolderDecrypt", true, true, "protected", "no-dir/out",
                    OpenOutput},
        FailureCase{"FolderAsOutput", true, false, "plain", "folder", OpenOutput},
        FailureCase{"BadOutputBeforeHeaderCheck", true, true, "foreign", "no-dir/out", OpenOutput},
        FailureCase{"EmptyOutputName", true, false, "plain", "", OpenOutput},
        // Then the header, before anything is decrypted (every bad file: below).
        FailureCase{"ForeignHeaderNewOutput", true, true, "foreign", "new", Decryption},
        // And cipher text that is not whole blocks: nothing is put in place.
        FailureCase{"CipherTextNotWholeBlocksNewOutput", true, true, "odd", "new", BlockSize}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

// Every bad file is refused, and neither a new nor an existing output is touched.
class FileStreamBadFileTest : public ::testing::TestWithParam<BadFile> {};

TEST_P(FileStreamBadFileTest, IsRefusedAndNoOutputIsTouched) {
  const BadFile& c = GetParam();
  TempDir dir;
  WriteFile(dir.File("plain"), PatternBytes(kBadFilesDataLength));
  EntryCipher()->EncryptFileStream(dir.File("plain"), dir.File("good"));
  EntryCipher(kOtherKeyText)->EncryptFileStream(dir.File("plain"), dir.File("other"));
  const std::string bad = dir.File("bad");
  WriteFile(bad, c.make(ReadFile(dir.File("good")), ReadFile(dir.File("other"))));
  WriteFile(dir.File("existing"), PatternBytes(777, 5));
  const std::string expected = ExpectedMessage(c, bad);
  for (const char* output : {"new", "existing"}) {
    EXPECT_EQ(MessageOf([&] { EntryCipher()->DecryptFileStream(bad, dir.File(output)); }),
              expected);
  }
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"bad", "existing", "good", "other", "plain"}));
  EXPECT_EQ(ReadFile(dir.File("existing")), PatternBytes(777, 5));
}

INSTANTIATE_TEST_SUITE_P(FileStreams, FileStreamBadFileTest, ::testing::ValuesIn(BadFiles()),
                         BadFileName);

TEST(FileStreamTest, HeaderAloneDecryptsToAnEmptyFile) {
  TempDir dir;
  WriteFile(dir.File("empty"), {});
  auto cipher = KeyedCipher(32, 24, MODE_CFB, PAD_COUNT);
  cipher->EncryptFileStream(dir.File("empty"), dir.File("protected"));
  EXPECT_EQ(ReadFile(dir.File("protected")).size(), 32u);
  WriteFile(dir.File("out"), PatternBytes(10));
  cipher->DecryptFileStream(dir.File("protected"), dir.File("out"));
  EXPECT_TRUE(ReadFile(dir.File("out")).empty());
}

// Two names for one existing file are refused like equal names, before anything is opened.
TEST(FileStreamTest, RelativeAndAbsoluteNamesOfOneFileAreRefused) {
  TempDir dir;
  const Bytes data = PatternBytes(500);
  WriteFile(dir.File("plain"), data);
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  auto cipher = KeyedCipher(16, 16, MODE_ECB, PAD_ZERO);
  const std::string encryptMessage =
      MessageOf([&] { cipher->EncryptFileStream("plain", dir.File("plain")); });
  const std::string decryptMessage =
      MessageOf([&] { cipher->DecryptFileStream(dir.File("plain"), "./plain"); });
  fs::current_path(previous);

  EXPECT_EQ(encryptMessage, SameFile("plain"));
  EXPECT_EQ(decryptMessage, SameFile(dir.File("plain")));
  EXPECT_EQ(ReadFile(dir.File("plain")), data);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"plain"});
}

// Another holder of the output keeps the writer from its exclusive lock.
TEST(FileStreamTest, OutputHeldByAnotherOpenerIsCannotOpen) {
  TempDir dir;
  WriteFile(dir.File("plain"), PatternBytes(100));
  WriteFile(dir.File("held"), PatternBytes(50, 3));
  auto cipher = KeyedCipher(16, 16, MODE_ECB, PAD_ZERO);
  platform::ExclusiveReader holder(dir.File("held"));
  EXPECT_EQ(MessageOf([&] { cipher->EncryptFileStream(dir.File("plain"), dir.File("held")); }),
            CannotOpen(dir.File("held")));
  holder.Close();
  EXPECT_EQ(ReadFile(dir.File("held")), PatternBytes(50, 3));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"held", "plain"}));
}

}  // namespace
}  // namespace vantry::test
