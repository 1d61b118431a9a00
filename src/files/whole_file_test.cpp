// A protected file that changes size between the size probe and the read: the memory block was
// sized for the probe, so every mismatch must be a read error and no byte may land past the
// block (the sanitizer build checks the latter).
#include "files/whole_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "files/files_test_util.h"

namespace vantry::test {
namespace {

// The real file has 1040 bytes: a header and 1008 bytes of cipher text (384, 384, 240).
constexpr std::int32_t kRealSize = 1040;

class ChangedFileTest : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(ChangedFileTest, SizeOtherThanTheFilesIsAReadErrorNamingIt) {
  TempDir dir;
  const std::string file = dir.File("protected");
  const Bytes data = PatternBytes(1000);
  auto cipher = EntryCipher();
  cipher->EncryptToFile(data.data(), 1000, file);
  ASSERT_EQ(ReadFile(file).size(), static_cast<std::size_t>(kRealSize));

  // A probed size that is not the header and whole blocks is refused before anything is read.
  if ((GetParam() - 32) % 16 != 0) {
    EXPECT_EQ(MessageOf([&] { DecryptProtectedFileOfSize(*cipher, file, GetParam()); }),
              kIllegalBlockSizeText);
    return;
  }
  ExpectFileError([&] { DecryptProtectedFileOfSize(*cipher, file, GetParam()); },
                  FileError::Cause::kRead, file);
  try {
    DecryptProtectedFileOfSize(*cipher, file, GetParam());
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find(": the file changed size while it was read"),
              std::string::npos)
        << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(ProbedSizes, ChangedFileTest,
                         ::testing::Values(32,                  // grew from the header alone
                                           32 + 16,             // grew within the first chunk
                                           32 + 384,            // grew by whole chunks
                                           32 + 768,            // grew by the short last chunk
                                           kRealSize - 16,      // grew by one block
                                           kRealSize - 1,       // grew by one byte
                                           kRealSize + 1,       // shrank by one byte
                                           kRealSize + 16,      // shrank by one block
                                           kRealSize + 144,     // shrank to a chunk boundary
                                           kRealSize + 4096));  // shrank a lot

TEST(ChangedFileTest, TheProbedSizeItselfGivesTheWholeBlock) {
  TempDir dir;
  const std::string file = dir.File("protected");
  const Bytes data = PatternBytes(1000);
  auto cipher = EntryCipher();
  cipher->EncryptToFile(data.data(), 1000, file);
  SecretBlock block = DecryptProtectedFileOfSize(*cipher, file, kRealSize);
  EXPECT_EQ(Bytes(block.data(), block.data() + block.size()),
            Concat(Concat(data, Bytes(8, 0)), Bytes(32, 0)));
}

}  // namespace
}  // namespace vantry::test
