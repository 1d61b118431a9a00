// The sealed-file commands of the tool (seal, unseal, rekey) and verify over many files, beside
// the protected-file commands of commands.h.
#ifndef VANTRY_TOOL_SEAL_COMMANDS_H_
#define VANTRY_TOOL_SEAL_COMMANDS_H_

#include <exception>

#include "command_line.h"

namespace vantry::tool {

int RunSeal(const Options& options);
int RunUnseal(const Options& options);

// A protected INPUT as OUTPUT under a new key, in one stream: the plain text passes through
// memory only. With --seal OUTPUT is a sealed file.
int RunRekey(const Options& options);

// Each FILE in turn: a sealed file is authenticated whole, a protected file's key check is
// compared (RunVerify). Says which files fail; exit status 1 when any does.
int RunVerifyFiles(const Options& options);

// After load or decrypt failed: when INPUT is a sealed file, throws the message that says to
// use unseal; otherwise returns, and the caller reports its own failure.
void ExplainSealedInput(const Options& options);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_SEAL_COMMANDS_H_
