#include <gtest/gtest.h>

#include "platform/file.h"
#include "support/file_errors.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::Bytes;
using test::ExpectFileError;
using test::TempDir;
using Cause = FileError::Cause;

constexpr std::size_t kSizes[] = {0,   1,   15,  16,   17,   383,  384,  385,
                                  511, 512, 513, 1023, 1024, 1025, 65537};

TEST(ExclusiveReaderTest, ReadsEveryByteAndReportsSize) {
  TempDir dir;
  std::mt19937_64 rng(7);
  for (std::size_t size : kSizes) {
    SCOPED_TRACE(size);
    const Bytes content = test::RandomBytes(rng, size);
    test::WriteFile(dir.File("in.bin"), content);
    ExclusiveReader reader(dir.File("in.bin"));
    EXPECT_EQ(reader.Size(), size);
    Bytes got(size);
    // Two pieces, so that a read that ignores its position or count shows.
    std::size_t done = 0;
    while (done < size) {
      const std::size_t piece = done < size / 2 ? size / 2 - done : size - done;
      const std::size_t n = reader.ReadSome(got.data() + done, piece);
      ASSERT_GT(n, 0u);
      done += n;
    }
    EXPECT_EQ(got, content);
    unsigned char extra = 0;
    EXPECT_EQ(reader.ReadSome(&extra, 1), 0u);
    reader.Close();
  }
}

TEST(ExclusiveReaderTest, OpenFailuresNameTheFile) {
  TempDir dir;
  const std::string missing = dir.File("missing.bin");
  ExpectFileError([&] { ExclusiveReader r(missing); }, Cause::kOpen, missing);
  const std::string inMissingDir = dir.File("no/such/dir.bin");
  ExpectFileError([&] { ExclusiveReader r(inMissingDir); }, Cause::kOpen, inMissingDir);
  ExpectFileError([&] { ExclusiveReader r(dir.path()); }, Cause::kOpen, dir.path());
  ExpectFileError([&] { ExclusiveReader r(""); }, Cause::kOpen, "");
}

TEST(ExclusiveReaderTest, SecondOpenFailsWhileTheFirstHoldsTheFile) {
  TempDir dir;
  const std::string name = dir.File("held.bin");
  test::WriteFile(name, Bytes{1, 2, 3});
  {
    ExclusiveReader first(name);
    ExpectFileError([&] { ExclusiveReader second(name); }, Cause::kOpen, name);
    first.Close();
    ExclusiveReader third(name);  // Close released it
  }
  ExclusiveReader fourth(name);  // and so did the destructor
  EXPECT_EQ(fourth.Size(), 3u);
}

TEST(ExclusiveReaderTest, UseAfterCloseFailsInsteadOfTouchingAStaleHandle) {
  TempDir dir;
  const std::string name = dir.File("closed.bin");
  test::WriteFile(name, Bytes{1});
  ExclusiveReader reader(name);
  reader.Close();
  reader.Close();  // a second close is harmless
  unsigned char b = 0;
  ExpectFileError([&] { reader.ReadSome(&b, 1); }, Cause::kRead, name);
  ExpectFileError([&] { reader.Size(); }, Cause::kSize, name);
}

}  // namespace
}  // namespace vantry::platform
