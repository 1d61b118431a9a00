#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/expect_file_error.h"
#include "platform/file.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::Bytes;
using Cause = FileError::Cause;

TEST(ExclusiveReaderPosixTest, FailuresCarryErrnoAndItsText) {
  test::TempDir dir;
  const std::string file = dir.File("f.bin");
  test::WriteFile(file, Bytes(4, 0));
  ExclusiveReader holder(file);
  const struct {
    std::string name;
    int error;
    const char* what;
  } cases[] = {
      {dir.File("missing.bin"), ENOENT, "No such file or directory"},
      {dir.path(), EISDIR, "Is a directory"},
      {file + "/below", ENOTDIR, "Not a directory"},
      {file, EWOULDBLOCK, "Resource temporarily unavailable"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      ExclusiveReader reader(c.name);
      ADD_FAILURE() << "opened";
    } catch (const FileError& e) {
      EXPECT_EQ(e.code().value(), c.error);
      EXPECT_EQ(std::string(e.what()), "cannot open file for reading " + c.name + ": " + c.what);
    }
  }
  Bytes buffer(5);
  try {
    holder.ReadExactly(buffer.data(), buffer.size());
    ADD_FAILURE() << "read past the end";
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot read file " + file + ": No data available");
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
#endif  // _WIN32
