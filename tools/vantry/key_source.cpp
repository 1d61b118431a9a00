#include "key_source.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "console.h"
#include "hex.h"
#include "standard_streams.h"
#include "vantry/machine_key.h"

namespace vantry::tool {
namespace {

std::string RequireText(std::string text, const std::string& where) {
  // An empty text keys the cipher with zero bytes only: no protection at all, and far more
  // often an empty file or an unset variable than a choice.
  if (text.empty()) {
    throw std::runtime_error("the key text from " + where + " is empty");
  }
  return text;
}

std::string DropOneLineEnd(std::string text) {
  if (!text.empty() && text.back() == '\n') {
    text.pop_back();
    if (!text.empty() && text.back() == '\r') {
      text.pop_back();
    }
  }
  return text;
}

}  // namespace

std::string MachineKeyText() {
  std::string key = GetMachineKey();
  if (key.empty()) {
    std::fputs(
        "vantry: warning: the volume serial cannot be read; the machine key is empty (a key of "
        "zero bytes)\n",
        stderr);
  }
  return key;
}

KeyMaterial ObtainKey(const KeyChoice& choice, bool confirm) {
  KeyMaterial key;
  switch (choice.source) {
    case KeySource::kMachine:
      key.machineKey = true;
      break;
    case KeySource::kFile: {
      const std::vector<unsigned char> bytes = ReadBytes(choice.argument);
      key.text = RequireText(DropOneLineEnd(std::string(bytes.begin(), bytes.end())),
                             OperandName(choice.argument));
      break;
    }
    case KeySource::kEnvironment: {
      const char* value = std::getenv(choice.argument.c_str());
      if (value == nullptr) {
        throw std::runtime_error("the environment variable " + choice.argument + " is not set");
      }
      key.text = RequireText(value, "the environment variable " + choice.argument);
      break;
    }
    case KeySource::kAsk: {
      key.text = RequireText(ReadHiddenLine("Key: "), "the terminal");
      if (confirm && ReadHiddenLine("Repeat the key: ") != key.text) {
        throw std::runtime_error("the two keys typed differ");
      }
      break;
    }
    case KeySource::kHexFile: {
      const std::vector<unsigned char> bytes = ReadBytes(choice.argument);
      auto data = ParseHex(std::string(bytes.begin(), bytes.end()));
      if (!data) {
        throw std::runtime_error("the key data in " + OperandName(choice.argument) +
                                 " is not hexadecimal (two digits for each byte)");
      }
      if (data->empty()) {
        throw std::runtime_error("there is no key data in " + OperandName(choice.argument));
      }
      key.rawData = true;
      key.bytes = std::move(*data);
      break;
    }
  }
  return key;
}

}  // namespace vantry::tool
