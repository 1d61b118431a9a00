#include "vantry/file_error.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "platform/file.h"

namespace vantry {
namespace {

using Cause = FileError::Cause;

struct CauseCase {
  Cause cause;
  const char* text;
};

// Hosts show these texts to people and match them in logs, so they are pinned here.
constexpr CauseCase kCauses[] = {
    {Cause::kOpen, "cannot open file for reading"},
    {Cause::kSize, "cannot read the size of file"},
    {Cause::kRead, "cannot read file"},
    {Cause::kCreate, "cannot create file"},
    {Cause::kWrite, "cannot write file"},
    {Cause::kClose, "cannot close file"},
    {Cause::kReplace, "cannot replace file"},
};

// Error code 2 is "file not found" on both POSIX (ENOENT) and Windows (ERROR_FILE_NOT_FOUND).
constexpr int kFileNotFound = 2;

TEST(FileErrorTest, CarriesCauseNameCodeAndReadableText) {
  const std::string name = "dir with blank/y.bin";
  const std::string systemText = platform::SystemErrorText(kFileNotFound);
  for (const auto& c : kCauses) {
    SCOPED_TRACE(c.text);
    const FileError error(c.cause, name, std::error_code(kFileNotFound, std::system_category()));
    EXPECT_EQ(error.cause(), c.cause);
    EXPECT_EQ(error.file_name(), name);
    EXPECT_EQ(error.code().value(), kFileNotFound);
    EXPECT_EQ(&error.code().category(), &std::system_category());
    EXPECT_STREQ(FileError::CauseText(c.cause), c.text);
    EXPECT_EQ(std::string(error.what()), std::string(c.text) + " " + name + ": " + systemText);
  }
}

TEST(FileErrorTest, SystemTextIsOneCleanLine) {
  for (int code : {kFileNotFound, 5, 13, 28, 987654}) {
    SCOPED_TRACE(code);
    const std::string text = platform::SystemErrorText(code);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_NE(text.back(), '.');
    EXPECT_NE(text.back(), ' ');
  }
}

TEST(FileErrorTest, CodesOfOtherCategoriesUseTheirOwnMessage) {
  const auto code = std::make_error_code(std::errc::no_space_on_device);
  const FileError error(Cause::kWrite, "out.bin", code);
  EXPECT_EQ(std::string(error.what()), "cannot write file out.bin: " + code.message());
}

TEST(FileErrorTest, KeepsItsTextWhenCopiedAndCaughtAsStandardException) {
  try {
    try {
      throw FileError(Cause::kReplace, "a.bin", std::error_code(5, std::system_category()));
    } catch (const FileError& e) {
      FileError copy = e;
      throw copy;
    }
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "cannot replace file a.bin: " + platform::SystemErrorText(5));
    return;
  }
  FAIL() << "FileError is not a std::runtime_error";
}

TEST(FileErrorTest, AMovedFromErrorStillHasAText) {
  FileError error(Cause::kOpen, "a.bin", std::error_code(kFileNotFound, std::system_category()));
  const FileError taken = std::move(error);
  EXPECT_EQ(std::string(taken.what()).rfind("cannot open file for reading a.bin: ", 0), 0u);
  EXPECT_NE(error.what(), nullptr);  // NOLINT(bugprone-use-after-move): that is the point
}

}  // namespace
}  // namespace vantry
