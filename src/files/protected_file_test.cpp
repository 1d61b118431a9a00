// The memory-backed operations (EncryptToFile, DecryptFromFile, EncryptFile, DecryptFile):
// their failures, what each leaves on disk, and the edge cases of the file layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "files/files_test_util.h"
#include "support/bad_files.h"

namespace vantry::test {
namespace {

namespace fs = std::filesystem;
using Cause = FileError::Cause;

class ProtectedFileTest : public ::testing::Test {
 protected:
  void Save(const Bytes& data, const std::string& name) {
    EntryCipher()->EncryptToFile(data.data(), static_cast<std::int32_t>(data.size()), name);
  }

  TempDir dir;
};

TEST_F(ProtectedFileTest, NegativeLengthWritesTheHeaderAlone) {
  const Bytes data = PatternBytes(64);
  EntryCipher()->EncryptToFile(data.data(), -5, dir.File("negative"));
  Save({}, dir.File("empty"));
  EXPECT_EQ(ReadFile(dir.File("negative")).size(), 32u);
  EXPECT_EQ(ReadFile(dir.File("negative")), ReadFile(dir.File("empty")));
}

TEST_F(ProtectedFileTest, NullDataWithZeroLengthWritesTheHeaderAlone) {
  EntryCipher()->EncryptToFile(nullptr, 0, dir.File("empty"));
  EXPECT_EQ(ReadFile(dir.File("empty")).size(), 32u);
}

TEST_F(ProtectedFileTest, NullDataWithAPositiveLengthIsRefusedBeforeAnyFile) {
  EXPECT_THROW(EntryCipher()->EncryptToFile(nullptr, 16, dir.File("out")), std::invalid_argument);
  EXPECT_TRUE(dir.Entries().empty());
}

TEST_F(ProtectedFileTest, NullLengthPointerIsRefused) {
  Save(PatternBytes(10), dir.File("saved"));
  EXPECT_THROW(EntryCipher()->DecryptFromFile(dir.File("saved"), nullptr), std::invalid_argument);
}

TEST_F(ProtectedFileTest, SavingOverALongerFileLeavesNoTraceOfIt) {
  WriteFile(dir.File("saved"), PatternBytes(5000, 7));
  Save(PatternBytes(5), dir.File("saved"));
  EXPECT_EQ(ReadFile(dir.File("saved")).size(), 48u);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"saved"});
}

TEST_F(ProtectedFileTest, TrailingZeroBytesOfTheDataMergeWithThePadding) {
  Bytes data = PatternBytes(13);
  data.resize(16, 0);
  Save(Bytes(data.begin(), data.begin() + 13), dir.File("short"));
  Save(data, dir.File("long"));
  EXPECT_EQ(ReadFile(dir.File("short")), ReadFile(dir.File("long")));
}

TEST_F(ProtectedFileTest, MissingInputIsAFileErrorAndLeavesTheLengthAlone) {
  const std::string missing = dir.File("missing");
  std::int32_t length = 1234;
  unsigned char* result = reinterpret_cast<unsigned char*>(&length);
  ExpectFileError([&] { result = EntryCipher()->DecryptFromFile(missing, &length); }, Cause::kOpen,
                  missing);
  EXPECT_EQ(length, 1234);
  EXPECT_EQ(result, reinterpret_cast<unsigned char*>(&length));

  ExpectFileError([&] { EntryCipher()->EncryptFile(missing, dir.File("out")); }, Cause::kOpen,
                  missing);
  ExpectFileError([&] { EntryCipher()->DecryptFile(missing, dir.File("out")); }, Cause::kOpen,
                  missing);
  EXPECT_TRUE(dir.Entries().empty());
}

// An output that cannot be created is a FileError naming it; EncryptFile and DecryptFile
// find out only after they have read their input, which they leave alone.
TEST_F(ProtectedFileTest, UncreatableOutputIsAFileErrorNamingIt) {
  Save(PatternBytes(100), dir.File("protected"));
  WriteFile(dir.File("plain"), PatternBytes(100));
  fs::create_directory(dir.File("folder"));
  const Bytes data = PatternBytes(10);
  for (const std::string& output : {dir.File("no-dir/out"), dir.File("folder"), std::string()}) {
    SCOPED_TRACE(output);
    ExpectFileError([&] { EntryCipher()->EncryptToFile(data.data(), 10, output); }, Cause::kCreate,
                    output);
    ExpectFileError([&] { EntryCipher()->EncryptFile(dir.File("plain"), output); }, Cause::kCreate,
                    output);
    ExpectFileError([&] { EntryCipher()->DecryptFile(dir.File("protected"), output); },
                    Cause::kCreate, output);
  }
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"folder", "plain", "protected"}));
  EXPECT_EQ(ReadFile(dir.File("plain")), PatternBytes(100));
}

TEST_F(ProtectedFileTest, OutputHeldByAnotherOpenerIsAFileErrorAndStaysIntact) {
  WriteFile(dir.File("held"), PatternBytes(300, 4));
  WriteFile(dir.File("plain"), PatternBytes(100));
  Save(PatternBytes(100), dir.File("protected"));
  const Bytes data = PatternBytes(10);
  {
    platform::ExclusiveReader holder(dir.File("held"));
    ExpectFileError([&] { EntryCipher()->EncryptToFile(data.data(), 10, dir.File("held")); },
                    Cause::kCreate, dir.File("held"));
    ExpectFileError([&] { EntryCipher()->EncryptFile(dir.File("plain"), dir.File("held")); },
                    Cause::kCreate, dir.File("held"));
    ExpectFileError([&] { EntryCipher()->DecryptFile(dir.File("protected"), dir.File("held")); },
                    Cause::kCreate, dir.File("held"));
  }
  EXPECT_EQ(ReadFile(dir.File("held")), PatternBytes(300, 4));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"held", "plain", "protected"}));
}

// The bad files of every layer must be refused by both readers, with the length left alone and
// no output created or changed.
class BadProtectedInputTest : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadProtectedInputTest, IsRefusedAndNothingIsWritten) {
  const BadFile& c = GetParam();
  TempDir dir;
  const Bytes data = PatternBytes(kBadFilesDataLength);
  EntryCipher()->EncryptToFile(data.data(), 1000, dir.File("good"));
  EntryCipher(kOtherKeyText)->EncryptToFile(data.data(), 1000, dir.File("other"));
  WriteFile(dir.File("bad"), c.make(ReadFile(dir.File("good")), ReadFile(dir.File("other"))));
  WriteFile(dir.File("existing"), PatternBytes(64, 8));
  const std::string bad = dir.File("bad");
  const std::string expected = ExpectedMessage(c, bad);

  std::int32_t length = 77;
  EXPECT_EQ(MessageOf([&] { EntryCipher()->DecryptFromFile(bad, &length); }), expected);
  EXPECT_EQ(length, 77);
  EXPECT_EQ(MessageOf([&] { EntryCipher()->DecryptFile(bad, dir.File("new")); }), expected);
  EXPECT_EQ(MessageOf([&] { EntryCipher()->DecryptFile(bad, dir.File("existing")); }), expected);

  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"bad", "existing", "good", "other"}));
  EXPECT_EQ(ReadFile(dir.File("existing")), PatternBytes(64, 8));
}

INSTANTIATE_TEST_SUITE_P(Files, BadProtectedInputTest, ::testing::ValuesIn(BadFiles()),
                         BadFileName);

// A header cut short is refused even when the missing byte is the zero that zero-filling the
// header buffer would have supplied.
TEST_F(ProtectedFileTest, HeaderMissingOnlyItsFinalZeroByteIsRefused) {
  auto cipher = EntryCipher(kZeroEndingDigestKeyText);
  cipher->EncryptToFile(nullptr, 0, dir.File("whole"));
  Bytes header = ReadFile(dir.File("whole"));
  ASSERT_EQ(header.size(), 32u);
  ASSERT_EQ(header[31], 0);
  header.pop_back();
  WriteFile(dir.File("cut"), header);

  EXPECT_EQ(ToHex(LoadProtected(*cipher, dir.File("whole"))), ToHex(Bytes(32, 0)));
  EXPECT_EQ(MessageOf([&] { LoadProtected(*cipher, dir.File("cut")); }),
            CannotDecrypt(dir.File("cut")));
  EXPECT_EQ(MessageOf([&] { cipher->DecryptFile(dir.File("cut"), dir.File("out")); }),
            CannotDecrypt(dir.File("cut")));
  EXPECT_EQ(MessageOf([&] { cipher->DecryptFileStream(dir.File("cut"), dir.File("out")); }),
            CannotDecrypt(dir.File("cut")));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"cut", "whole"}));
}

// The key check digest covers the parameters too: a file is bound to them, not just the key.
TEST_F(ProtectedFileTest, FileOfOtherParametersCannotBeDecrypted) {
  Save(PatternBytes(100), dir.File("saved"));
  for (auto& cipher :
       {KeyedCipher(16, 16, MODE_CBC, PAD_ZERO), KeyedCipher(16, 16, MODE_ECB, PAD_SPACE),
        KeyedCipher(16, 32, MODE_ECB, PAD_ZERO)}) {
    EXPECT_EQ(MessageOf([&] { LoadProtected(*cipher, dir.File("saved")); }),
              CannotDecrypt(dir.File("saved")));
  }
}

TEST_F(ProtectedFileTest, UnkeyedCipherWritesNothing) {
  CRijndaelCipher unkeyed;
  const Bytes data = PatternBytes(10);
  EXPECT_ANY_THROW(unkeyed.EncryptToFile(data.data(), 10, dir.File("out")));
  EXPECT_TRUE(dir.Entries().empty());
}

}  // namespace
}  // namespace vantry::test
