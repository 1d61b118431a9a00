// vantry: the command-line face of the library.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "console.h"
#include "help_text.h"
#include "operands.h"
#include "seal_commands.h"
#include "secret_commands.h"
#include "slot_commands.h"

namespace vantry::tool {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Run(const Options& options) {
  switch (options.command) {
    case Command::kSave:
      return RunSave(options);
    case Command::kLoad:
    case Command::kDecrypt:
      try {
        return options.command == Command::kLoad ? RunLoad(options) : RunDecrypt(options);
      } catch (const std::exception&) {
        ExplainSealedInput(options);
        throw;
      }
    case Command::kEncrypt:
      return RunEncrypt(options);
    case Command::kVerify:
      return RunVerifyFiles(options);
    case Command::kMachineKey:
      return RunMachineKey();
    case Command::kSeal:
      return RunSeal(options);
    case Command::kUnseal:
      return RunUnseal(options);
    case Command::kRekey:
      return RunRekey(options);
    case Command::kKeygen:
      return RunKeygen(options);
    case Command::kSlots:
      return RunSlots(options);
    case Command::kSecretShow:
      return RunSecretShow(options);
    case Command::kSecretExport:
      return RunSecretExport(options);
    case Command::kSecretImport:
      return RunSecretImport(options);
  }
  return kExitUsage;
}

int Main(const std::vector<std::string>& args) {
  Invocation invocation;
  try {
    invocation = ParseCommandLine(args);
  } catch (const UsageError& e) {
    const std::string helpCommand =
        e.command() ? std::string("vantry ") + CommandName(*e.command()) + " --help"
                    : std::string("vantry --help");
    std::fprintf(stderr, "vantry: %s\nTry '%s' for more information.\n", e.what(),
                 helpCommand.c_str());
    return kExitUsage;
  }
  switch (invocation.action) {
    case Invocation::Action::kHelp: {
      const std::string text = invocation.command ? CommandHelp(*invocation.command) : ToolHelp();
      std::fputs(text.c_str(), stdout);
      return FlushStandardOutput(0, kExitFailure);
    }
    case Invocation::Action::kVersion:
      std::printf("vantry %s\n", VANTRY_VERSION);
      return FlushStandardOutput(0, kExitFailure);
    case Invocation::Action::kRun:
      break;
  }
  // From here on keys and plain text are in memory: no core file may take them along.
  if (!DisableCoreDumps()) {
    std::fputs("vantry: warning: core dumps could not be switched off\n", stderr);
  }
  CatchStopSignals();
  try {
    return Run(invocation.options);
  } catch (const std::exception& e) {
    if (StandardOutputClosed() && StopSignal() == 0) {
      EndByClosedOutput();
    }
    std::fprintf(stderr, "vantry: error: %s\n", e.what());
    if (StopSignal() != 0) {
      EndByStopSignal(StopSignal());
    }
    return kExitFailure;
  }
}

}  // namespace
}  // namespace vantry::tool

int main(int argc, char** argv) {
  const std::vector<std::string> args = vantry::platform::Utf8Arguments(argc, argv);
  try {
    return vantry::tool::Main(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantry: error: %s\n", e.what());
    return 1;
  }
}
