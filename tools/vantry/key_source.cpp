#include "key_source.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "console.h"
#include "hex.h"
#include "operands.h"
#include "secret.h"
#include "vantry/machine_key.h"
#include "vantry/streams.h"

namespace vantry::tool {
namespace {

// Checks a key text and warns about what makes it weaker than it looks.
void RequireText(const std::string& text, const std::string& where, int keyLength,
                 bool whole = false) {
  // An empty text keys the cipher with zero bytes only: no protection at all, and far more
  // often an empty file or an unset variable than a choice.
  if (text.empty()) {
    throw std::runtime_error("the key text from " + where + " is empty");
  }
  // A sealed file's passphrase is taken whole, bytes as given.
  if (whole) {
    return;
  }
  const std::size_t nul = text.find('\0');
  // The key buffer ends at the first NUL: such a text is the empty key, whatever follows.
  if (nul == 0) {
    throw std::runtime_error("the key text is empty up to its first NUL byte");
  }
  if (nul != std::string::npos) {
    std::fputs(
        "vantry: warning: the key text holds a NUL byte; only the characters before it count\n",
        stderr);
  }
  const std::size_t effective = nul == std::string::npos ? text.size() : nul;
  if (effective < static_cast<std::size_t>(keyLength)) {
    std::fprintf(stderr,
                 "vantry: warning: the key text has fewer than %d characters; only the first %d "
                 "count, and fewer make a weaker key\n",
                 keyLength, keyLength);
  }
}

void DropOneLineEnd(std::string& text) {
  if (!text.empty() && text.back() == '\n') {
    text.pop_back();
    if (!text.empty() && text.back() == '\r') {
      text.pop_back();
    }
  }
}

// The content of a key file, or of standard input for "-", read to its end but refused past
// kMaxKeyBytes. The string never reallocates, so no copy of a partial key stays behind.
void ReadKeyFile(const std::string& operand, std::string* content) {
  content->reserve(kMaxKeyBytes + 1);
  content->resize(kMaxKeyBytes + 1);
  std::size_t got = 0;
  try {
    // Without the lock protected files are read under: a key file is the user's own input,
    // and another reader of it at the same time is no reason to fail.
    std::unique_ptr<ByteReader> reader =
        operand == "-" ? OpenStandardInputReader() : OpenUnlockedInput(operand, InputRole::kKey);
    got = reader->ReadFull(&(*content)[0], content->size());
  } catch (const std::exception& e) {
    WipeString(*content);
    throw std::runtime_error(DescribeFailure(e));
  }
  content->resize(got);
  if (got > kMaxKeyBytes) {
    WipeString(*content);
    throw std::runtime_error("the key file " + OperandName(operand) + " is larger than " +
                             std::to_string(kMaxKeyBytes) + " bytes");
  }
}

}  // namespace

ObtainedKey::~ObtainedKey() {
  WipeString(text);
  WipeBytes(bytes);
}

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

void ObtainKey(const KeyChoice& choice, bool confirm, int keyLength, ObtainedKey* key) {
  // A sealed file's key text is a passphrase, and the help calls it so.
  const std::string what = choice.whole ? "passphrase" : "key";
  const std::string prompt = choice.whole ? "Passphrase: " : "Key: ";
  switch (choice.source) {
    case KeyOrigin::kMachine:
      key->machineKey = true;
      break;
    case KeyOrigin::kFile: {
      if (choice.argument == "-" && IsTerminal(stdin)) {
        // Typed at the terminal: without echo, as --ask-key reads it.
        key->text = ReadHiddenLine(prompt, kMaxKeyBytes);
        RequireText(key->text, "the terminal", keyLength, choice.whole);
        break;
      }
      ReadKeyFile(choice.argument, &key->text);
      DropOneLineEnd(key->text);
      RequireText(key->text, OperandName(choice.argument), keyLength, choice.whole);
      break;
    }
    case KeyOrigin::kEnvironment: {
      const char* value = std::getenv(choice.argument.c_str());
      if (value == nullptr) {
        throw std::runtime_error("the environment variable " + PrintableName(choice.argument) +
                                 " is not set");
      }
      key->text = value;
      RequireText(key->text, "the environment variable " + PrintableName(choice.argument),
                  keyLength, choice.whole);
      break;
    }
    case KeyOrigin::kAsk: {
      key->text = ReadHiddenLine(prompt, kMaxKeyBytes);
      RequireText(key->text, "the terminal", keyLength, choice.whole);
      if (confirm) {
        std::string again = ReadHiddenLine("Repeat the " + what + ": ", kMaxKeyBytes);
        const bool same = again == key->text;
        WipeString(again);
        if (!same) {
          throw std::runtime_error("the two " + what + "s typed differ");
        }
      }
      break;
    }
    case KeyOrigin::kHexFile: {
      std::string content;
      ReadKeyFile(choice.argument, &content);
      std::optional<std::vector<unsigned char>> data = ParseHex(content);
      WipeString(content);
      if (!data) {
        throw std::runtime_error("the key data in " + OperandName(choice.argument) +
                                 " is not hexadecimal (two digits for each byte)");
      }
      key->bytes = std::move(*data);
      WipeBytes(*data);
      if (key->bytes.empty()) {
        throw std::runtime_error("there is no key data in " + OperandName(choice.argument));
      }
      // The key check digest covers the key bytes up to the first zero byte: with a zero byte
      // first it covers none of them, and any other such key would pass it.
      if (key->bytes[0] == 0 && !choice.whole) {
        throw std::runtime_error("the key data in " + OperandName(choice.argument) +
                                 " starts with a zero byte, which leaves the key check nothing "
                                 "of the key");
      }
      key->rawData = true;
      break;
    }
  }
}

}  // namespace vantry::tool
