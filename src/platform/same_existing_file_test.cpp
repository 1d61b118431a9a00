#include <gtest/gtest.h>

#include "platform/file.h"
#include "support/test_support.h"

namespace vantry::platform {
namespace {

TEST(SameExistingFileTest, ComparesFilesNotNames) {
  test::TempDir dir;
  test::WriteFile(dir.File("a.bin"), {1});
  test::WriteFile(dir.File("b.bin"), {1});  // same content, other file
  const struct {
    std::string a, b;
    bool same;
  } cases[] = {
      {dir.File("a.bin"), dir.File("a.bin"), true},
      {dir.File("a.bin"), dir.path() + "/./a.bin", true},
      {dir.File("a.bin"),
       dir.path() + "/../" + dir.path().substr(dir.path().find_last_of("/\\") + 1) + "/a.bin",
       true},
      {dir.File("a.bin"), dir.File("b.bin"), false},
      {dir.File("a.bin"), dir.File("missing.bin"), false},
      {dir.File("missing.bin"), dir.File("missing.bin"), false},
      {"", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a + " | " + c.b);
    EXPECT_EQ(SameExistingFile(c.a, c.b), c.same);
    EXPECT_EQ(SameExistingFile(c.b, c.a), c.same);
  }
}

}  // namespace
}  // namespace vantry::platform
