// Checking that a call fails with a FileError of a given cause naming a given file.
#ifndef VANTRY_TESTS_SUPPORT_FILE_ERRORS_H_
#define VANTRY_TESTS_SUPPORT_FILE_ERRORS_H_

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "vantry/file_error.h"

namespace vantry::test {

struct CaughtFileError {
  int code = 0;
  std::string what;
};

// Returns what was caught; a zero code when f did not throw a FileError.
inline CaughtFileError ExpectFileError(const std::function<void()>& f, FileError::Cause cause,
                                       const std::string& name) {
  try {
    f();
  } catch (const FileError& e) {
    EXPECT_EQ(e.cause(), cause) << e.what();
    EXPECT_EQ(e.file_name(), name);
    EXPECT_NE(e.code().value(), 0);
    const std::string prefix = std::string(FileError::CauseText(cause)) + " " + name + ": ";
    EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << e.what();
    return {e.code().value(), e.what()};
  }
  ADD_FAILURE() << "no FileError for " << name;
  return {};
}

}  // namespace vantry::test

#endif  // VANTRY_TESTS_SUPPORT_FILE_ERRORS_H_
