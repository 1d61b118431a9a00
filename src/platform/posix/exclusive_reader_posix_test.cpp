#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/file.h"
#include "support/file_errors.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::Bytes;
using test::ExpectFileError;
using Cause = FileError::Cause;

TEST(ExclusiveReaderPosixTest, FailuresCarryTheSystemsText) {
  test::TempDir dir;
  const std::string file = dir.File("f.bin");
  test::WriteFile(file, Bytes(4, 0));
  ExclusiveReader holder(file);
  const struct {
    std::string name;
    const char* text;
  } cases[] = {
      {dir.File("missing.bin"), "No such file or directory"},
      {dir.path(), "Is a directory"},
      {file + "/below", "Not a directory"},
      {file, "Resource temporarily unavailable"},  // held by `holder`
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpectFileError([&] { ExclusiveReader r(c.name); }, Cause::kOpen, c.name).what,
              "cannot open file for reading " + c.name + ": " + c.text);
  }
}

TEST(ExclusiveReaderPosixTest, AFifoWithoutWriterOpensWithoutWaitingAndIsEmpty) {
  test::TempDir dir;
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ExclusiveReader reader(fifo);
  EXPECT_EQ(reader.Size(), 0u);
  unsigned char b = 0;
  EXPECT_EQ(reader.ReadSome(&b, 1), 0u);
}

}  // namespace
}  // namespace vantry::platform
