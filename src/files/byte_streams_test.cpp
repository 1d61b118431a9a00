// The library's buffered atomic file writer: what arrives in the file, in pieces of any size
// around the buffer's capacity, and that nothing arrives without Commit.
#include "files/byte_streams.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "files/files_test_util.h"

namespace vantry::test {
namespace {

constexpr std::size_t kCap = std::size_t{64} * 1024;  // the writer's buffer

std::unique_ptr<ByteWriter> Writer(const std::string& name) {
  return OpenAtomicFileWriter(name, platform::OutputContents::kProtected);
}

struct AppendPattern {
  const char* name;
  std::vector<std::size_t> pieces;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
inline void PrintTo(const AppendPattern& c, std::ostream* os) { *os << c.name; }

class FileWriterTest : public ::testing::TestWithParam<AppendPattern> {};

TEST_P(FileWriterTest, CommittedFileHoldsEveryPieceInOrder) {
  TempDir dir;
  Bytes expected;
  {
    const auto output = Writer(dir.File("out"));
    std::uint64_t seed = 0;
    for (std::size_t piece : GetParam().pieces) {
      const Bytes bytes = PatternBytes(piece, ++seed);
      output->Write(bytes.data(), bytes.size());
      expected = Concat(expected, bytes);
    }
    output->Commit();
  }
  EXPECT_EQ(ReadFile(dir.File("out")), expected);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out"});
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, FileWriterTest,
    ::testing::Values(AppendPattern{"Nothing", {}}, AppendPattern{"Empty", {0}},
                      AppendPattern{"OneByte", {1}}, AppendPattern{"CapacityLessOne", {kCap - 1}},
                      AppendPattern{"Capacity", {kCap}},
                      AppendPattern{"CapacityAndOne", {kCap + 1}},
                      AppendPattern{"FillThenOne", {kCap - 1, 1, 1}},
                      AppendPattern{"StraddleTwice", {kCap - 10, 20, kCap, 5}},
                      AppendPattern{"LargeAfterSmall", {32, 3 * kCap + 7, 384}},
                      AppendPattern{"Chunks", std::vector<std::size_t>(1000, 384)}),
    [](const ::testing::TestParamInfo<AppendPattern>& info) { return info.param.name; });

TEST(FileWriterAbandonTest, WithoutCommitTheTargetStaysAsItWas) {
  TempDir dir;
  const Bytes previous = PatternBytes(100, 2);
  WriteFile(dir.File("out"), previous);
  {
    const auto output = Writer(dir.File("out"));
    const Bytes bytes = PatternBytes(3 * kCap);
    output->Write(bytes.data(), bytes.size());
  }
  EXPECT_EQ(ReadFile(dir.File("out")), previous);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out"});

  { const auto output = Writer(dir.File("new")); }
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out"});
}

// A key written as a new file never replaces one that took its name, before or during the write.
TEST(NewFileWriterTest, AnExistingOrAppearingTargetIsKept) {
  TempDir dir;
  WriteFile(dir.File("old"), {1});
  EXPECT_THROW(CreateNewFileWriter(dir.File("old"), FileMode::kOwnerOnly), FileError);
  const auto output = CreateNewFileWriter(dir.File("new"), FileMode::kOwnerOnly);
  output->Write("k", 1);
  // Another writer's key, in between: POSIX names the new file only at Commit, so the other
  // may take the name first; Windows holds the name from the start, and the other fails.
  bool taken = true;
  try {
    WriteFile(dir.File("new"), {2});
  } catch (const std::exception&) {
    taken = false;
  }
  if (taken) {
    EXPECT_THROW(output->Commit(), FileError);
    EXPECT_EQ(ReadFile(dir.File("new")), Bytes{2});
  } else {
    output->Commit();
    EXPECT_EQ(ReadFile(dir.File("new")), Bytes{'k'});
  }
  EXPECT_EQ(ReadFile(dir.File("old")), Bytes{1});
}

}  // namespace
}  // namespace vantry::test
