// The account's and machine's sealing secrets: their creation announced, shown, exported and
// imported through the library's calls (vantry/secrets.h).
#ifndef VANTRY_TOOL_SECRET_COMMANDS_H_
#define VANTRY_TOOL_SECRET_COMMANDS_H_

#include <vector>

#include "command_line.h"
#include "vantry/sealed.h"

namespace vantry::tool {

// Makes sure the secrets among keys exist before a seal uses them, and says on standard error
// when this run created one: where it is, that the files sealed with it need it, and how to
// back it up. A secret that exists already is passed over in silence.
void AnnounceNewSecrets(const std::vector<SealedKey>& keys);

int RunSecretShow(const Options& options);
int RunSecretExport(const Options& options);
int RunSecretImport(const Options& options);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_SECRET_COMMANDS_H_
