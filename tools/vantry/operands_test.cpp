// How the tool names files and failures in its messages.
#include "operands.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <system_error>

#include "vantry/file_error.h"

namespace vantry::tool {
namespace {

TEST(Operands, PrintableNamesEscapeEveryControlCharacter) {
  const struct {
    std::string name;
    std::string printable;
  } cases[] = {
      {"plain name.vty", "plain name.vty"},
      {"a\nb", "a\\nb"},
      {"tab\there", "tab\\there"},
      {"cr\r", "cr\\r"},
      {"\x1b[2J", "\\x1b[2J"},
      {"del\x7f", "del\\x7f"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"back\\slash", "back\\\\slash"},
      {"caf\xc3\xa9", "caf\xc3\xa9"},  // UTF-8 stays as it is
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PrintableName(c.name), c.printable);
  }
  EXPECT_EQ(OperandName("-"), "standard input");
  EXPECT_EQ(OperandName("a\nb"), "'a\\nb'");
}

TEST(Operands, FileErrorsSayWhatFailedOnWhichFileAndWhy) {
  const auto code = [](std::errc e) { return std::make_error_code(e); };
  const struct {
    FileError error;
    std::string message;
  } cases[] = {
      {FileError(FileError::Cause::kOpen, "in\n", code(std::errc::no_such_file_or_directory)),
       "cannot open 'in\\n': " + code(std::errc::no_such_file_or_directory).message()},
      {FileError(FileError::Cause::kWrite, "standard output", code(std::errc::broken_pipe)),
       "cannot write standard output: " + code(std::errc::broken_pipe).message()},
      {FileError(FileError::Cause::kCreate, "out", code(std::errc::operation_would_block)),
       "cannot create 'out': it is in use by another program"},
      {FileError(FileError::Cause::kOpen, "in", code(std::errc::resource_unavailable_try_again)),
       "cannot open 'in': it is in use by another program"},
      {FileError(FileError::Cause::kReplace, "out", code(std::errc::no_space_on_device)),
       "cannot replace 'out': " + code(std::errc::no_space_on_device).message()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DescribeFailure(c.error), c.message);
  }
  EXPECT_EQ(DescribeFailure(std::runtime_error("plain text")), "plain text");
}

}  // namespace
}  // namespace vantry::tool
