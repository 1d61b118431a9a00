// Turns the key option of the command line into key material.
#ifndef VANTRY_TOOL_KEY_SOURCE_H_
#define VANTRY_TOOL_KEY_SOURCE_H_

#include <cstddef>
#include <string>
#include <vector>

#include "command_line.h"

namespace vantry::tool {

// A key file, or a typed key, holds at most this many bytes: enough for any key text, and a
// bound for a key option pointed at /dev/zero or a large file by mistake.
inline constexpr std::size_t kMaxKeyBytes = 64 * 1024;

// Wiped when it goes; neither copied nor moved, so no stray copy of the key is left behind.
struct ObtainedKey {
  ObtainedKey() = default;
  ~ObtainedKey();
  ObtainedKey(const ObtainedKey&) = delete;
  ObtainedKey& operator=(const ObtainedKey&) = delete;

  // The library chooses the machine key itself (save and load pass no key text).
  bool machineKey = false;
  // A key text (cipher commands: the machine key's text when machineKey is set).
  std::string text;
  // Raw key data from --key-hex-file; used instead of text when rawData is set.
  bool rawData = false;
  std::vector<unsigned char> bytes;
};

// Reads the key the options name into key. confirm asks twice with --ask-key: a mistyped key
// when protecting would make the file unreadable. keyLength is the number of key characters
// that take effect (16 for save and load); a key text with fewer is warned about on standard
// error, as is one that holds a NUL byte (it ends there). Throws std::runtime_error with a
// message for the user: also for a key text that is empty up to its first NUL byte, which
// would key the cipher with zero bytes only.
void ObtainKey(const KeyChoice& choice, bool confirm, int keyLength, ObtainedKey* key);

// The key text of the machine, warning on standard error when the machine has none.
std::string MachineKeyText();

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_KEY_SOURCE_H_
