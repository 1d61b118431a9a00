// The one set of bad protected files: damaged, cut, foreign and other-key files, each with the
// failure every layer must report for it. Each layer's test runs the whole set through its own
// interface (the cipher's operations, the stream functions, the entry points, the C interface).
#ifndef VANTRY_TESTS_SUPPORT_BAD_FILES_H_
#define VANTRY_TESTS_SUPPORT_BAD_FILES_H_

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vantry::test {

enum class BadFileFailure {
  kWrongKey,   // "Sealkit ERROR: File <name> cannot be Correctly Decrypted!"
  kBlockSize,  // "Illegal Block Size!"
};

struct BadFile {
  const char* name;
  // From a good file of kBadFilesDataLength bytes of data and a file of the same data under
  // another key.
  Bytes (*make)(const Bytes& good, const Bytes& otherKey);
  BadFileFailure failure;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
inline void PrintTo(const BadFile& c, std::ostream* os) { *os << c.name; }

// The data length of the good file the set is made from: 1000 bytes, 1008 of cipher text in
// chunks of 384, 384 and 240, so the file is smaller than one piece of any reader.
inline constexpr std::size_t kBadFilesDataLength = 1000;

const std::vector<BadFile>& BadFiles();
// The message a layer reports for the file, read under the name fileName.
std::string ExpectedMessage(const BadFile& file, const std::string& fileName);
// The case names of an instantiation over BadFiles().
std::string BadFileName(const ::testing::TestParamInfo<BadFile>& info);

}  // namespace vantry::test

#endif  // VANTRY_TESTS_SUPPORT_BAD_FILES_H_
