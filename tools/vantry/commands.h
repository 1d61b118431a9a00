// The commands of the vantry tool. Each returns the exit status; failures are exceptions whose
// message is for the user.
#ifndef VANTRY_TOOL_COMMANDS_H_
#define VANTRY_TOOL_COMMANDS_H_

#include "command_line.h"

namespace vantry::tool {

// Through the library's entry points.
int RunSave(const Options& options);
int RunLoad(const Options& options);
int RunMachineKey();

// Through a CRijndaelCipher keyed with the options' parameters.
int RunEncrypt(const Options& options);
int RunDecrypt(const Options& options);
int RunVerify(const Options& options);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_COMMANDS_H_
