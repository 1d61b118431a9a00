// The tool's own key handling leaves no copy of the key on the stack: the 32-byte key buffer
// that keys the cipher is wiped before the command goes on. The command runs in this process;
// the stack below the caller is searched after it returns.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "key_source.h"

namespace vantry::tool {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kStackIsSearchable = false;
#else
constexpr bool kStackIsSearchable = true;
#endif

const std::string kKeyText = "tool hygiene key";  // the 16 characters that key the cipher

__attribute__((noinline)) bool StackHolds(const std::string& needle) {
  volatile unsigned char below[48 * 1024];
  std::vector<unsigned char> copy(sizeof below);
  for (std::size_t i = 0; i < sizeof below; ++i) {
    copy[i] = below[i];
  }
  return std::search(copy.begin(), copy.end(), needle.begin(), needle.end()) != copy.end();
}

__attribute__((noinline)) void KeyACipher(CRijndaelCipher& cipher, const KeyMaterial& key) {
  KeyCipher(cipher, Options{}, key);
}

TEST(ToolKeyHygiene, KeyingTheCipherLeavesNoKeyOnTheStack) {
  if (!kStackIsSearchable) {
    GTEST_SKIP() << "the stack cannot be searched under AddressSanitizer";
  }
  // The key and the cipher live in this frame, above the one searched; the key text is on the
  // heap, put together from two halves so that no whole copy sits in this frame either.
  KeyMaterial key;
  key.text = std::string("tool hygi") + "ene key";
  CRijndaelCipher cipher;
  KeyACipher(cipher, key);
  EXPECT_FALSE(StackHolds(kKeyText)) << "SECURITY.md: keys are wiped before release";
}

}  // namespace
}  // namespace vantry::tool
