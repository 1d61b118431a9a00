// The commands of sealed files' keys: keygen (an identity and its recipient), slots (what keys
// open a file) and rekey of a sealed file (keys added or removed, the header rewritten alone).
#ifndef VANTRY_TOOL_SLOT_COMMANDS_H_
#define VANTRY_TOOL_SLOT_COMMANDS_H_

#include "command_line.h"
#include "vantry/streams.h"

namespace vantry::tool {

// Writes a new identity to OUTPUT (owner-only, never over an existing file) and prints its
// recipient; with --recipient IDENTITY prints the recipient of that identity file.
int RunKeygen(const Options& options);

// Lists FILE's slots: number, kind, identifier or cost. Needs no key; shows no secret.
int RunSlots(const Options& options);

// rekey of a sealed INPUT: opens it with the unseal keys, removes --remove-slot slots, adds a
// slot for each new key, recipient and --account-secret, and writes OUTPUT through the atomic
// writer. A version-2 INPUT keeps its payload byte for byte; a version-1 INPUT becomes
// version 2, re-encrypted as it streams.
int RunRekeySealed(const Options& options, ByteReader& input);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_SLOT_COMMANDS_H_
