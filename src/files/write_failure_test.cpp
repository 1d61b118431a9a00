// A write that fails part way (the platform's simulated full disk) must leave the previous
// output byte for byte as it was, leave no temporary file behind, and name the output.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "files/files_test_util.h"

namespace vantry::test {
namespace {

constexpr std::size_t kDataSize = 200000;  // several 64 KiB flushes and many 384-byte chunks
constexpr std::size_t kProtectedSize = 32 + kDataSize;

class WriteFailureTest : public ::testing::TestWithParam<WritingOperation> {
 protected:
  void SetUp() override {
    WriteFile(dir.File("plain"), PatternBytes(kDataSize));
    cipher->EncryptFile(dir.File("plain"), dir.File("protected"));
  }

  // Runs the operation with the disk full after failAfter bytes and checks the failure.
  void ExpectFailureAt(std::int64_t failAfter, const std::string& output) {
    const WritingOperation& op = GetParam();
    WriteFault fault(failAfter);
    if (op.streamMessages) {
      EXPECT_EQ(MessageOf([&] { op.run(*cipher, dir, output); }), CannotWrite(output));
    } else {
      ExpectFileError([&] { op.run(*cipher, dir, output); }, FileError::Cause::kWrite, output);
    }
  }

  TempDir dir;
  std::unique_ptr<CRijndaelCipher> cipher = EntryCipher();
};

TEST_P(WriteFailureTest, ExistingOutputSurvivesAFailureAtEveryStage) {
  const std::size_t size = GetParam().outputSize;
  const Bytes previous = PatternBytes(4321, 11);
  WriteFile(dir.File("output"), previous);
  // In the header, in the first chunk, across the first full write buffer, in the middle,
  // and in the last chunk.
  for (std::int64_t failAfter :
       {std::int64_t{0}, std::int64_t{16}, std::int64_t{40}, std::int64_t{65536},
        static_cast<std::int64_t>(size / 2), static_cast<std::int64_t>(size - 1)}) {
    SCOPED_TRACE(failAfter);
    ExpectFailureAt(failAfter, dir.File("output"));
    EXPECT_EQ(ReadFile(dir.File("output")), previous);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"output", "plain", "protected"}));
  }
}

TEST_P(WriteFailureTest, NewOutputIsNotLeftBehind) {
  for (std::int64_t failAfter : {std::int64_t{0}, std::int64_t{100000}}) {
    SCOPED_TRACE(failAfter);
    ExpectFailureAt(failAfter, dir.File("new"));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"plain", "protected"}));
  }
}

// The output is written once, byte for byte: room for exactly its size is enough.
TEST_P(WriteFailureTest, RoomForExactlyTheOutputIsEnough) {
  const WritingOperation& op = GetParam();
  {
    WriteFault fault(static_cast<std::int64_t>(op.outputSize));
    op.run(*cipher, dir, dir.File("output"));
  }
  EXPECT_EQ(ReadFile(dir.File("output")).size(), op.outputSize);
}

INSTANTIATE_TEST_SUITE_P(EveryWritingOperation, WriteFailureTest,
                         ::testing::ValuesIn(WritingOperations(kDataSize)),
                         [](const ::testing::TestParamInfo<WritingOperation>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace vantry::test
