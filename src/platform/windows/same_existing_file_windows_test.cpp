// The same-file check on names outside ASCII: read as UTF-8 (the C interface), "café" and its
// other spellings of the path are one file, and a file whose name differs only in that letter
// is another.
#include <gtest/gtest.h>

#include <string>

#include "platform/file.h"
#include "platform/name_encoding.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

void Create(const std::string& name) {
  AtomicWriter writer(name);
  writer.Write("x", 1);
  writer.Commit();
}

TEST(SameExistingFileWindowsTest, ComparesUtf8NamesAsTheFilesTheyName) {
  test::TempDir dir;
  const ScopedNameEncoding utf8(NameEncoding::kUtf8);
  const std::string cafe = dir.path() + "\\caf\xC3\xA9.bin";
  const std::string cyrillic = dir.path() + "\\\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.bin";
  const std::string plain = dir.path() + "\\cafe.bin";
  Create(cafe);
  Create(cyrillic);
  Create(plain);
  EXPECT_TRUE(SameExistingFile(cafe, dir.path() + "\\.\\caf\xC3\xA9.bin"));
  EXPECT_TRUE(SameExistingFile(cyrillic, dir.path() + "\\..\\" +
                                             dir.path().substr(dir.path().find_last_of("\\/") + 1) +
                                             "\\\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.bin"));
  EXPECT_FALSE(SameExistingFile(cafe, plain));
  EXPECT_FALSE(SameExistingFile(cafe, cyrillic));
  EXPECT_FALSE(SameExistingFile(cafe, dir.path() + "\\missing.bin"));
}

}  // namespace
}  // namespace vantry::platform
