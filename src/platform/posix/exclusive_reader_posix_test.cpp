#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/file.h"
#include "support/file_errors.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

using test::Bytes;
using test::ExpectFileError;
using Cause = FileError::Cause;

std::size_t OpenDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++n;
  }
  return n;
}

TEST(ExclusiveReaderPosixTest, FailuresCarryTheSystemsText) {
  test::TempDir dir;
  const std::string file = dir.File("f.bin");
  test::WriteFile(file, Bytes(4, 0));
  ExclusiveReader holder(file);
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string name;
    const char* text;
  } cases[] = {
      {dir.File("missing.bin"), "No such file or directory"},
      {dir.path(), "Is a directory"},
      {file + "/below", "Not a directory"},
      {file, "Resource temporarily unavailable"},  // held by `holder`
      // Never read as an empty file, which it would be before a writer comes.
      {fifo, "Invalid argument"},
  };
  for (const auto& c : cases) {
    const std::size_t open = OpenDescriptors();
    EXPECT_EQ(ExpectFileError([&] { ExclusiveReader r(c.name); }, Cause::kOpen, c.name).what,
              "cannot open file for reading " + c.name + ": " + c.text);
    // A refused open keeps no descriptor: a host retrying a held file would run out of them.
    EXPECT_EQ(OpenDescriptors(), open) << c.name;
  }
}

}  // namespace
}  // namespace vantry::platform
