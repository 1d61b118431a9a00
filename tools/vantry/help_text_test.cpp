// Every option a command's help lists is one that command accepts: the options are read from
// the help texts themselves, so a help text and the parser cannot drift apart.
#include "help_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "command_line.h"

namespace vantry::tool {
namespace {

// What an option needs beside it to be accepted: its value, and the options it goes with (put
// in only when the same help lists them).
const std::map<std::string, std::vector<std::string>> kNeeds = {
    {"--key-file", {"k"}},
    {"--key-env", {"K"}},
    {"--key-hex-file", {"k"}},
    {"--new-key-file", {"k"}},
    {"--new-key-env", {"K"}},
    {"--new-key-hex-file", {"k", "--seal"}},
    {"--block-size", {"16"}},
    {"--key-size", {"16"}},
    {"--mode", {"cbc"}},
    {"--padding", {"zero"}},
    {"--machine-secret", {"--seal"}},
    {"--armor", {"--seal"}},
    {"--recipient", {"R"}},
    {"--recipients-file", {"p"}},
    {"--identity", {"p"}},
    {"--tpm-pcrs", {"7"}},
    {"--remove-slot", {"1"}},
    {"--iv", {"00112233445566778899aabbccddeeff", "--mode", "cbc"}}};

TEST(HelpTextTest, EveryListedOptionIsAccepted) {
  for (Command command : {Command::kSave, Command::kLoad, Command::kEncrypt, Command::kDecrypt,
                          Command::kVerify, Command::kMachineKey, Command::kSeal, Command::kUnseal,
                          Command::kRekey, Command::kSecretImport}) {
    const std::string help = CommandHelp(command);
    // Every word that starts with "--" and goes on in lower case.
    std::vector<std::string> listed;
    for (std::size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
      std::size_t end = at + 2;
      while (end < help.size() &&
             (std::islower(static_cast<unsigned char>(help[end])) || help[end] == '-')) {
        ++end;
      }
      if (end > at + 2) {
        listed.push_back(help.substr(at, end - at));
      }
      at = end - 2;
    }
    for (const std::string& option : listed) {
      // "secret import" is two words on the command line.
      std::istringstream name(CommandName(command));
      std::vector<std::string> args(std::istream_iterator<std::string>(name), {});
      args.push_back(option);
      if (kNeeds.count(option) != 0) {
        for (const std::string& need : kNeeds.at(option)) {
          if (need.rfind("--", 0) != 0 || help.find(need) != std::string::npos) {
            args.push_back(need);
          }
        }
      }
      if (command == Command::kSecretImport) {
        args.push_back("file");
      } else if (command != Command::kMachineKey) {
        args.insert(args.end(), {"input", "output"});
      }
      try {
        ParseCommandLine(args);
      } catch (const UsageError& e) {
        ADD_FAILURE() << "vantry " << CommandName(command) << " --help lists " << option
                      << ", which it refuses: " << e.what();
      }
    }
  }
}

}  // namespace
}  // namespace vantry::tool
