// The commands of the vantry tool. Each returns the exit status; failures are exceptions whose
// message is for the user.
#ifndef VANTRY_TOOL_COMMANDS_H_
#define VANTRY_TOOL_COMMANDS_H_

#include "command_line.h"
#include "key_source.h"
#include "vantry/rijndael_cipher.h"

namespace vantry::tool {

// Through the library's entry points.
int RunSave(const Options& options);
int RunLoad(const Options& options);
int RunMachineKey();

// Through a CRijndaelCipher keyed with the options' parameters.
int RunEncrypt(const Options& options);
int RunDecrypt(const Options& options);
int RunVerify(const Options& options);

// Keys cipher as save and load (or, with cipher options, encrypt and decrypt) key theirs.
void KeyProtectedCipher(CRijndaelCipher& cipher, const Options& options, const KeyMaterial& key);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_COMMANDS_H_
