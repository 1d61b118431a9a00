#include "command_line.h"

#include <cstring>

#include "hex.h"
#include "vantry/machine_key.h"
#include "vantry/rijndael_cipher.h"

namespace vantry::tool {
namespace {

constexpr unsigned Bit(Command command) { return 1u << static_cast<unsigned>(command); }

constexpr unsigned kSave = Bit(Command::kSave);
constexpr unsigned kLoad = Bit(Command::kLoad);
constexpr unsigned kEncrypt = Bit(Command::kEncrypt);
constexpr unsigned kDecrypt = Bit(Command::kDecrypt);
constexpr unsigned kVerify = Bit(Command::kVerify);
constexpr unsigned kSeal = Bit(Command::kSeal);
constexpr unsigned kUnseal = Bit(Command::kUnseal);
constexpr unsigned kRekey = Bit(Command::kRekey);
constexpr unsigned kKeygen = Bit(Command::kKeygen);
constexpr unsigned kSealedCommands = kSeal | kUnseal | kRekey;
constexpr unsigned kSecretTransfers = Bit(Command::kSecretExport) | Bit(Command::kSecretImport);
constexpr unsigned kCipherCommands = kEncrypt | kDecrypt;
constexpr unsigned kStreamCommands = kSave | kLoad | kCipherCommands;
constexpr unsigned kKeyedCommands =
    kSave | kLoad | kCipherCommands | kVerify | kSealedCommands | kSecretTransfers;

enum class Option {
  kKeyFile,
  kAskKey,
  kKeyEnv,
  kKeyHexFile,
  kForce,
  kInPlace,
  kStrip,
  kInMemory,
  kBlockSize,
  kKeySize,
  kMode,
  kPadding,
  kIv,
  kProgress,
  kQuiet,
  kMachineSecret,
  kTpm,
  kTpmPcrs,
  kSealOutput,
  kNewKeyFile,
  kNewAskKey,
  kNewKeyEnv,
  kNewKeyHexFile,
  kRecipient,
  kRecipientsFile,
  kIdentity,
  kAccountSecret,
  kRemoveSlot,
  kReplace,
  kArmor,
};

// Options that add one more key or slot each time they are given.
bool IsRepeatable(Option option) {
  return option == Option::kRecipient || option == Option::kRecipientsFile ||
         option == Option::kIdentity || option == Option::kRemoveSlot;
}

struct OptionEntry {
  Option option;
  const char* name;
  bool takesValue;
  unsigned commands;
};

constexpr OptionEntry kOptions[] = {
    {Option::kKeyFile, "--key-file", true, kKeyedCommands},
    {Option::kAskKey, "--ask-key", false, kKeyedCommands},
    {Option::kKeyEnv, "--key-env", true, kKeyedCommands},
    {Option::kKeyHexFile, "--key-hex-file", true,
     kCipherCommands | kVerify | kSealedCommands | kSecretTransfers},
    {Option::kForce, "--force", false, kSave | kLoad | kCipherCommands | kSealedCommands},
    {Option::kInPlace, "--in-place", false, kSave | kLoad | kCipherCommands | kSealedCommands},
    {Option::kStrip, "--strip", false, kLoad},
    {Option::kInMemory, "--in-memory", false, kCipherCommands},
    {Option::kBlockSize, "--block-size", true, kCipherCommands | kVerify},
    {Option::kKeySize, "--key-size", true, kCipherCommands | kVerify},
    {Option::kMode, "--mode", true, kCipherCommands | kVerify},
    {Option::kPadding, "--padding", true, kCipherCommands | kVerify},
    {Option::kIv, "--iv", true, kCipherCommands},
    {Option::kProgress, "--progress", false, kStreamCommands | kSealedCommands},
    {Option::kQuiet, "--quiet", false, kStreamCommands | kSealedCommands},
    {Option::kMachineSecret, "--machine-secret", false,
     kSealedCommands | kVerify | kSecretTransfers | Bit(Command::kSecretShow)},
    {Option::kTpm, "--tpm", false, kSealedCommands},
    {Option::kTpmPcrs, "--tpm-pcrs", true, kSeal | kRekey},
    {Option::kSealOutput, "--seal", false, kRekey},
    {Option::kNewKeyFile, "--new-key-file", true, kRekey},
    {Option::kNewAskKey, "--new-ask-key", false, kRekey},
    {Option::kNewKeyEnv, "--new-key-env", true, kRekey},
    {Option::kNewKeyHexFile, "--new-key-hex-file", true, kRekey},
    {Option::kRecipient, "--recipient", true, kSeal | kRekey | kKeygen},
    {Option::kRecipientsFile, "--recipients-file", true, kSeal | kRekey},
    {Option::kIdentity, "--identity", true, kUnseal | kRekey | kVerify},
    {Option::kAccountSecret, "--account-secret", false, kSeal | kRekey},
    {Option::kRemoveSlot, "--remove-slot", true, kRekey},
    {Option::kReplace, "--replace", false, Bit(Command::kSecretImport)},
    {Option::kArmor, "--armor", false, kSeal | kRekey},
};

// Each word a value of --mode and --padding may take, with the library's constant it stands
// for: spelt out, so that the order of a list cannot change what a word means.
struct ChoiceEntry {
  const char* word;
  int value;
};

constexpr ChoiceEntry kModes[] = {{"ecb", MODE_ECB}, {"cbc", MODE_CBC}, {"cfb", MODE_CFB}};
constexpr ChoiceEntry kPaddings[] = {
    {"zero", PAD_ZERO}, {"space", PAD_SPACE}, {"count", PAD_COUNT}};

struct CommandEntry {
  Command command;
  const char* name;
  std::size_t operandCount;
  const char* operandNames;
};

constexpr CommandEntry kCommands[] = {
    {Command::kSave, "save", 2, "INPUT and OUTPUT"},
    {Command::kLoad, "load", 2, "INPUT and OUTPUT"},
    {Command::kEncrypt, "encrypt", 2, "INPUT and OUTPUT"},
    {Command::kDecrypt, "decrypt", 2, "INPUT and OUTPUT"},
    {Command::kVerify, "verify", 1, "FILE"},
    {Command::kMachineKey, "machine-key", 0, ""},
    {Command::kSeal, "seal", 2, "INPUT and OUTPUT"},
    {Command::kUnseal, "unseal", 2, "INPUT and OUTPUT"},
    {Command::kRekey, "rekey", 2, "INPUT and OUTPUT"},
    {Command::kKeygen, "keygen", 1, "OUTPUT"},
    {Command::kSlots, "slots", 1, "FILE"},
    {Command::kSecretShow, "secret show", 0, ""},
    {Command::kSecretExport, "secret export", 1, "FILE"},
    {Command::kSecretImport, "secret import", 1, "FILE"},
};

// verify takes any number of files, one at least.
bool TakesManyOperands(Command command) { return command == Command::kVerify; }

const CommandEntry& FindCommand(Command command) {
  for (const CommandEntry& entry : kCommands) {
    if (entry.command == command) {
      return entry;
    }
  }
  return kCommands[0];
}

const OptionEntry* FindOption(const std::string& name) {
  for (const OptionEntry& entry : kOptions) {
    if (name == entry.name) {
      return &entry;
    }
  }
  return nullptr;
}

bool IsKeyOption(Option option) {
  return option == Option::kKeyFile || option == Option::kAskKey || option == Option::kKeyEnv ||
         option == Option::kKeyHexFile;
}

bool IsNewKeyOption(Option option) {
  return option == Option::kNewKeyFile || option == Option::kNewAskKey ||
         option == Option::kNewKeyEnv || option == Option::kNewKeyHexFile;
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

class Parser {
 public:
  explicit Parser(Command command) : m_command(command) { m_options.command = command; }

  Options Parse(const std::vector<std::string>& args) {
    bool onlyOperands = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& arg = args[i];
      if (onlyOperands || arg == "-" || arg.empty() || arg[0] != '-') {
        m_options.operands.push_back(arg);
      } else if (arg == "--") {
        onlyOperands = true;
      } else {
        std::string name = arg;
        std::optional<std::string> value;
        const std::size_t equals = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
          name = arg.substr(0, equals);
          value = arg.substr(equals + 1);
        }
        const OptionEntry* entry = FindOption(name);
        if (entry == nullptr) {
          Fail("unknown option '" + name + "'");
        }
        if ((entry->commands & Bit(m_command)) == 0) {
          Fail("option " + name + " does not apply to " + CommandName(m_command));
        }
        if (entry->takesValue && !value) {
          if (i + 1 >= args.size()) {
            Fail("option " + name + " needs a value");
          }
          value = args[++i];
        } else if (!entry->takesValue && value) {
          Fail("option " + name + " takes no value");
        }
        Apply(*entry, value.value_or(""));
      }
    }
    Check();
    return m_options;
  }

 private:
  [[noreturn]] void Fail(const std::string& message) const { throw UsageError(message, m_command); }

  void Apply(const OptionEntry& entry, const std::string& value) {
    const unsigned seenBit = 1u << static_cast<unsigned>(entry.option);
    if ((m_seen & seenBit) != 0 && !IsRepeatable(entry.option)) {
      Fail(std::string("option ") + entry.name + " given more than once");
    }
    m_seen |= seenBit;
    if (entry.takesValue && value.empty()) {
      Fail(std::string("option ") + entry.name + " needs a value");
    }
    if (IsKeyOption(entry.option)) {
      if (m_keyOption != nullptr) {
        Fail(std::string("options ") + m_keyOption + " and " + entry.name +
             " both give the key; give one");
      }
      m_keyOption = entry.name;
    }
    if (IsNewKeyOption(entry.option)) {
      if (m_newKeyOption != nullptr) {
        Fail(std::string("options ") + m_newKeyOption + " and " + entry.name +
             " both give the new key; give one");
      }
      m_newKeyOption = entry.name;
    }
    switch (entry.option) {
      case Option::kKeyFile:
        m_options.key = {KeyOrigin::kFile, value};
        break;
      case Option::kAskKey:
        m_options.key = {KeyOrigin::kAsk, ""};
        break;
      case Option::kKeyEnv:
        m_options.key = {KeyOrigin::kEnvironment, value};
        break;
      case Option::kKeyHexFile:
        m_options.key = {KeyOrigin::kHexFile, value};
        break;
      case Option::kForce:
        m_options.force = true;
        break;
      case Option::kInPlace:
        m_options.inPlace = true;
        break;
      case Option::kStrip:
        m_options.strip = true;
        break;
      case Option::kInMemory:
        m_options.inMemory = true;
        break;
      case Option::kBlockSize:
        m_options.blockSize = Size(entry.name, value);
        break;
      case Option::kKeySize:
        m_options.keySize = Size(entry.name, value);
        break;
      case Option::kMode:
        m_options.mode = Choice(entry.name, value, kModes);
        break;
      case Option::kPadding:
        m_options.padding = Choice(entry.name, value, kPaddings);
        break;
      case Option::kProgress:
      case Option::kQuiet: {
        const ProgressMode mode =
            entry.option == Option::kProgress ? ProgressMode::kAlways : ProgressMode::kNever;
        if (m_options.progress != ProgressMode::kAuto) {
          Fail("options --progress and --quiet contradict each other; give one");
        }
        m_options.progress = mode;
        break;
      }
      case Option::kMachineSecret:
        m_options.machineSecret = true;
        break;
      case Option::kTpm:
        m_options.tpm = true;
        break;
      case Option::kTpmPcrs:
        m_options.tpm = true;
        m_options.tpmPcrs = PcrList(value);
        break;
      case Option::kSealOutput:
        m_options.seal = true;
        break;
      case Option::kNewKeyFile:
        m_options.newKey = {KeyOrigin::kFile, value};
        break;
      case Option::kNewAskKey:
        m_options.newKey = {KeyOrigin::kAsk, ""};
        break;
      case Option::kNewKeyEnv:
        m_options.newKey = {KeyOrigin::kEnvironment, value};
        break;
      case Option::kNewKeyHexFile:
        m_options.newKey = {KeyOrigin::kHexFile, value};
        break;
      case Option::kRecipient:
        m_options.recipients.push_back(value);
        break;
      case Option::kRecipientsFile:
        m_options.recipientFiles.push_back(value);
        break;
      case Option::kIdentity:
        m_options.identityFiles.push_back(value);
        break;
      case Option::kAccountSecret:
        m_options.accountSecret = true;
        break;
      case Option::kRemoveSlot:
        m_options.removeSlots.push_back(SlotNumber(value));
        break;
      case Option::kReplace:
        m_options.replace = true;
        break;
      case Option::kArmor:
        m_options.armor = true;
        break;
      case Option::kIv: {
        auto bytes = ParseHex(value);
        if (!bytes || bytes->empty()) {
          Fail("option --iv needs hexadecimal digits, two for each byte");
        }
        m_options.iv = std::move(bytes);
        break;
      }
    }
  }

  // "7" or "0,2,7": PCR numbers, 0 to 23, as a mask.
  std::uint32_t PcrList(const std::string& value) const {
    std::uint32_t mask = 0;
    std::size_t at = 0;
    while (true) {
      const std::size_t comma = value.find(',', at);
      const std::string number = value.substr(at, comma - at);
      if (number.empty() || number.size() > 2 ||
          number.find_first_not_of("0123456789") != std::string::npos || std::stoi(number) > 23) {
        Fail("option --tpm-pcrs takes PCR numbers from 0 to 23 separated by commas, not '" + value +
             "'");
      }
      mask |= std::uint32_t{1} << std::stoi(number);
      if (comma == std::string::npos) {
        return mask;
      }
      at = comma + 1;
    }
  }

  std::size_t SlotNumber(const std::string& value) const {
    if (value.size() <= 2 && value.find_first_not_of("0123456789") == std::string::npos &&
        std::stoi(value) >= 1) {
      return static_cast<std::size_t>(std::stoi(value));
    }
    Fail("option --remove-slot takes a slot number from 1 to 16, not '" + value + "'");
  }

  int Size(const char* name, const std::string& value) const {
    if (value == "16" || value == "24" || value == "32") {
      return std::stoi(value);
    }
    Fail(std::string("option ") + name + " must be 16, 24 or 32, not '" + value + "'");
  }

  template <std::size_t N>
  int Choice(const char* name, const std::string& value, const ChoiceEntry (&choices)[N]) const {
    std::string list;
    for (std::size_t i = 0; i < N; ++i) {
      if (value == choices[i].word) {
        return choices[i].value;
      }
      list += i == 0 ? "" : i + 1 == N ? " or " : ", ";
      list += choices[i].word;
    }
    Fail(std::string("option ") + name + " must be " + list + ", not '" + value + "'");
  }

  void Check() {
    // A sealed file takes the whole key text, and its raw keys as they are.
    m_options.key.whole = m_command == Command::kSeal || m_command == Command::kUnseal ||
                          (Bit(m_command) & kSecretTransfers) != 0;
    m_options.newKey.whole = m_options.seal;
    // The secret commands' key seals the secret, whichever secret --machine-secret names.
    const bool keyIsOwnKey = (Bit(m_command) & kSecretTransfers) == 0;
    if (m_options.machineSecret && m_keyOption != nullptr && m_command != Command::kRekey &&
        keyIsOwnKey) {
      Fail(std::string("options --machine-secret and ") + m_keyOption +
           " both give the key; give one");
    }
    if (m_options.machineSecret && m_command == Command::kRekey &&
        (!m_options.seal || m_newKeyOption != nullptr)) {
      Fail(
          "option --machine-secret of rekey names the new key of a sealed OUTPUT (--seal) and "
          "excludes the --new-key options");
    }
    // A sealed INPUT of rekey keeps its own form, armored or not.
    if (m_options.armor && m_command == Command::kRekey && !m_options.seal) {
      Fail("option --armor of rekey goes with --seal; a sealed INPUT keeps its own form");
    }
    const bool newKeyFromStdin = (m_options.newKey.source == KeyOrigin::kFile ||
                                  m_options.newKey.source == KeyOrigin::kHexFile) &&
                                 m_options.newKey.argument == "-";
    const bool keyFromStdin0 =
        (m_options.key.source == KeyOrigin::kFile || m_options.key.source == KeyOrigin::kHexFile) &&
        m_options.key.argument == "-";
    if (newKeyFromStdin &&
        (keyFromStdin0 || (!m_options.operands.empty() && m_options.operands[0] == "-"))) {
      Fail("standard input cannot give the new key and also the key or INPUT");
    }
    // keygen --recipient IDENTITY prints the recipient of an identity file it already has.
    if (m_command == Command::kKeygen && !m_options.recipients.empty()) {
      if (m_options.recipients.size() > 1 || !m_options.operands.empty()) {
        Fail("keygen --recipient takes one IDENTITY file and no OUTPUT");
      }
      return;
    }
    const CommandEntry& entry = FindCommand(m_command);
    if (m_options.operands.size() < entry.operandCount) {
      Fail(std::string(entry.name) + " needs " + entry.operandNames);
    }
    if (m_options.operands.size() > entry.operandCount && !TakesManyOperands(m_command)) {
      Fail("too many arguments for " + std::string(entry.name) + ": '" +
           m_options.operands[entry.operandCount] + "'");
    }
    if (m_options.iv && m_options.iv->size() != static_cast<std::size_t>(m_options.blockSize)) {
      const std::string size = std::to_string(m_options.blockSize);
      Fail("option --iv must give " + size + " bytes (" + std::to_string(2 * m_options.blockSize) +
           " hexadecimal digits) for a " + size + "-byte block");
    }
    const bool keyFromStdin =
        (m_options.key.source == KeyOrigin::kFile || m_options.key.source == KeyOrigin::kHexFile) &&
        m_options.key.argument == "-";
    if (keyFromStdin && !m_options.operands.empty() && m_options.operands[0] == "-") {
      Fail("standard input cannot give both the key and " +
           std::string(m_command == Command::kVerify ? "FILE" : "INPUT"));
    }
  }

  Command m_command;
  Options m_options;
  unsigned m_seen = 0;
  const char* m_keyOption = nullptr;
  const char* m_newKeyOption = nullptr;
};

}  // namespace

const char* CommandName(Command command) { return FindCommand(command).name; }

int EffectiveKeyLength(const Options& options) {
  return options.command == Command::kSave || options.command == Command::kLoad ? kVantryKeyLength
                                                                                : options.keySize;
}

Invocation ParseCommandLine(const std::vector<std::string>& args) {
  Invocation invocation;
  if (args.empty()) {
    throw UsageError("no command given", std::nullopt);
  }
  const std::string& first = args[0];
  if (IsHelp(first) || first == "--version") {
    if (args.size() > 1) {
      throw UsageError("unexpected argument '" + args[1] + "' after " + first, std::nullopt);
    }
    invocation.action = IsHelp(first) ? Invocation::Action::kHelp : Invocation::Action::kVersion;
    return invocation;
  }
  // "secret show" and its siblings: two words name the command.
  std::size_t words = 1;
  std::string name = first;
  if (first == "secret") {
    if (args.size() == 2 && IsHelp(args[1])) {
      invocation.action = Invocation::Action::kHelp;
      invocation.command = Command::kSecretShow;
      return invocation;
    }
    if (args.size() < 2 || (args[1] != "show" && args[1] != "export" && args[1] != "import")) {
      throw UsageError("secret needs show, export FILE or import FILE", std::nullopt);
    }
    name += " " + args[1];
    words = 2;
  }
  const CommandEntry* command = nullptr;
  for (const CommandEntry& entry : kCommands) {
    if (name == entry.name) {
      command = &entry;
    }
  }
  if (command == nullptr) {
    throw UsageError(
        first[0] == '-' ? "unknown option '" + first + "'" : "unknown command '" + first + "'",
        std::nullopt);
  }
  invocation.command = command->command;
  const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(words),
                                      args.end());
  // Help wins over every other mistake on the line, up to a "--" that ends the options.
  for (const std::string& arg : rest) {
    if (arg == "--") {
      break;
    }
    if (IsHelp(arg)) {
      invocation.action = Invocation::Action::kHelp;
      return invocation;
    }
  }
  invocation.options = Parser(command->command).Parse(rest);
  return invocation;
}

}  // namespace vantry::tool
