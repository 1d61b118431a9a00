// The tool's own keying leaves no copy of the key on the stack below its caller.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "commands.h"

namespace vantry::tool {
namespace {

__attribute__((noinline)) bool StackHolds(const std::string& needle) {
  volatile unsigned char below[48 * 1024];
  std::vector<unsigned char> copy(below, below + sizeof below);
  return std::search(copy.begin(), copy.end(), needle.begin(), needle.end()) != copy.end();
}

__attribute__((noinline)) void KeyACipher(CRijndaelCipher& cipher, const ObtainedKey& key) {
  KeyCipherForOptions(cipher, Options{}, key);
}

TEST(ToolKeyHygiene, KeyingTheCipherLeavesNoKeyOnTheStack) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the stack cannot be searched under AddressSanitizer";
#endif
  // Key and cipher live in this frame, above the one searched; the text is put together on
  // the heap so that no whole copy of it sits in this frame either.
  ObtainedKey key;
  key.text = std::string("tool hygi") + "ene key";
  CRijndaelCipher cipher;
  KeyACipher(cipher, key);
  EXPECT_FALSE(StackHolds("tool hygiene key")) << "SECURITY.md: keys are wiped before release";
}

}  // namespace
}  // namespace vantry::tool
