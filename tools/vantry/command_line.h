// The vantry tool's command line: which command, its operands and options, checked against
// what the command accepts. Anything the command line gets wrong is a UsageError (exit 2).
#ifndef VANTRY_TOOL_COMMAND_LINE_H_
#define VANTRY_TOOL_COMMAND_LINE_H_

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vantry::tool {

enum class Command {
  kSave,
  kLoad,
  kEncrypt,
  kDecrypt,
  kVerify,
  kMachineKey,
  kSeal,
  kUnseal,
  kRekey,
  kKeygen,
  kSlots,
  kSecretShow,
  kSecretExport,
  kSecretImport
};

// Where the key comes from. Keys are never command-line arguments: they would show in process
// lists and shell histories.
enum class KeyOrigin { kMachine, kFile, kAsk, kEnvironment, kHexFile };

struct KeyChoice {
  KeyOrigin source = KeyOrigin::kMachine;
  std::string argument;  // file path, "-" or variable name
  // For a sealed file: the whole key text counts (NUL bytes included) and raw key data is
  // taken as it is, so the protected file's warnings and refusals about them do not apply.
  bool whole = false;
};

// Progress on standard error: by default only on a terminal and for runs of a few seconds.
enum class ProgressMode { kAuto, kAlways, kNever };

struct Options {
  Command command = Command::kSave;
  std::vector<std::string> operands;  // INPUT OUTPUT, or FILE
  KeyChoice key;
  bool force = false;
  bool inPlace = false;  // allows rewriting an existing OUTPUT in place (see CheckReplaceable)
  bool strip = false;
  bool inMemory = false;
  ProgressMode progress = ProgressMode::kAuto;
  int blockSize = 16;
  int keySize = 16;
  int mode = 0;
  int padding = 0;
  std::optional<std::vector<unsigned char>> iv;
  // Sealed files: the machine's secret instead of the account's (the default key).
  bool machineSecret = false;
  // Sealed files: a slot for this machine's TPM, bound to the SHA-256 PCRs of tpmPcrs (bit n
  // for PCR n; 0 for none).
  bool tpm = false;
  std::uint32_t tpmPcrs = 0;
  // rekey: the new key, and whether OUTPUT is a sealed file.
  KeyChoice newKey;
  bool seal = false;
  // seal, rekey --seal: OUTPUT is an armored sealed file (text).
  bool armor = false;
  // Sealed files with several keys: recipients ("vantry1..."), files listing them, identity
  // files for unsealing, the account's secret as one more key, slots rekey removes (counted
  // from 1, as 'vantry slots' lists them).
  std::vector<std::string> recipients;
  std::vector<std::string> recipientFiles;
  std::vector<std::string> identityFiles;
  bool accountSecret = false;
  std::vector<std::size_t> removeSlots;
  // secret import: over a different secret, which is kept beside it.
  bool replace = false;
};

// What the command line asks for.
struct Invocation {
  enum class Action { kRun, kHelp, kVersion } action = Action::kRun;
  std::optional<Command> command;  // for kHelp: the command to describe, if any
  Options options;
};

class UsageError : public std::runtime_error {
 public:
  UsageError(const std::string& message, std::optional<Command> command)
      : std::runtime_error(message), m_command(command) {}
  // The command whose help fits the mistake, if one was recognised.
  std::optional<Command> command() const { return m_command; }

 private:
  std::optional<Command> m_command;
};

// args excludes the program name.
Invocation ParseCommandLine(const std::vector<std::string>& args);

const char* CommandName(Command command);

// The key characters that take effect for the options (16 for save and load).
int EffectiveKeyLength(const Options& options);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_COMMAND_LINE_H_
