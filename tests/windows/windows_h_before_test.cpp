// A host that includes <windows.h> before the library's headers, built for UNICODE (the
// CMake target defines UNICODE for this file): EncryptFile and DecryptFile are macros for
// EncryptFileW and DecryptFileW here, and the cipher still compiles, links and runs.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "vantry/rijndael_cipher.h"
#include "windows/windows_test_util.h"

static_assert(sizeof(TCHAR) == 2, "this file is the UNICODE build");

namespace vantry::test {

void RoundTripWithWindowsHBefore(const std::string& plain, const std::string& sealed,
                                 const std::string& opened) {
  CRijndaelCipher cipher;
  const unsigned char key[16] = {'k'};
  cipher.SetKey(key, 16, nullptr, 16, 16, MODE_CBC, PAD_COUNT);
  cipher.EncryptFile(plain, sealed);  // EncryptFileW, as the host writes it
  cipher.DecryptFile(sealed, opened);
}

}  // namespace vantry::test
