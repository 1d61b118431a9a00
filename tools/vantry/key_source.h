// Turns the key option of the command line into key material.
#ifndef VANTRY_TOOL_KEY_SOURCE_H_
#define VANTRY_TOOL_KEY_SOURCE_H_

#include <string>
#include <vector>

#include "command_line.h"

namespace vantry::tool {

struct KeyMaterial {
  // The library chooses the machine key itself (save and load pass no key text).
  bool machineKey = false;
  // A key text (cipher commands: the machine key's text when machineKey is set).
  std::string text;
  // Raw key data from --key-hex-file; used instead of text when rawData is set.
  bool rawData = false;
  std::vector<unsigned char> bytes;
};

// Reads the key the options name. confirm asks twice with --ask-key: a mistyped key when
// protecting would make the file unreadable. Throws std::runtime_error with a message for the
// user.
KeyMaterial ObtainKey(const KeyChoice& choice, bool confirm);

// The key text of the machine, warning on standard error when the machine has none.
std::string MachineKeyText();

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_KEY_SOURCE_H_
