// A host that includes the library's headers first and <windows.h> after them, in an ANSI
// build: the calls below are rewritten to EncryptFileA and DecryptFileA. Also holds both
// orders against each other and against the cipher's own names.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "vantry/rijndael_cipher.h"
#include "windows/windows_test_util.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

static_assert(sizeof(TCHAR) == 1, "this file is the ANSI build");

namespace vantry::test {
namespace {

TEST(WindowsHeaderTest, TheCipherWorksWhereWindowsHDefinesItsFileFunctionsAsMacros) {
  TempDir dir;
  const Bytes plain = {'w', 'i', 'n', 'd', 'o', 'w', 's', '.', 'h'};
  WriteFile(dir.File("plain"), plain);

  CRijndaelCipher cipher;
  const unsigned char key[16] = {'k'};
  cipher.SetKey(key, 16, nullptr, 16, 16, MODE_CBC, PAD_COUNT);
  cipher.EncryptFile(dir.File("plain"), dir.File("after.vty"));  // EncryptFileA
  cipher.DecryptFile(dir.File("after.vty"), dir.File("after.out"));
  // Through the abstract class, as most hosts hold the cipher.
  CBlockCipher& base = cipher;
  base.EncryptFile(dir.File("plain"), dir.File("base.vty"));
  base.DecryptFile(dir.File("base.vty"), dir.File("base.out"));
  EXPECT_EQ(ReadFile(dir.File("base.vty")), ReadFile(dir.File("after.vty")));
  EXPECT_EQ(ReadFile(dir.File("base.out")), ReadFile(dir.File("after.out")));
  RoundTripWithWindowsHBefore(dir.File("plain"), dir.File("before.vty"), dir.File("before.out"));

  EXPECT_EQ(ReadFile(dir.File("after.vty")), ReadFile(dir.File("before.vty")));
  EXPECT_EQ(ReadFile(dir.File("before.out")), ReadFile(dir.File("after.out")));
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), ReadFile(dir.File("after.out")).begin()));
}

}  // namespace
}  // namespace vantry::test
