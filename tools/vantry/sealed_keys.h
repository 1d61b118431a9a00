// The keys of a sealed-file command: the key option's passphrase or raw key, recipients from
// the command line and from files, identities from files, and the account's or machine's
// secret, as the library's SealedKeys.
#ifndef VANTRY_TOOL_SEALED_KEYS_H_
#define VANTRY_TOOL_SEALED_KEYS_H_

#include <string>
#include <vector>

#include "command_line.h"
#include "vantry/sealed.h"

namespace vantry::tool {

// The key a single key option gives: the account's (or with machineSecret the machine's)
// secret when choice names none; a key text is a passphrase, taken whole. confirm asks twice.
SealedKey SealedKeyFor(const KeyChoice& choice, bool machineSecret, bool confirm);

// The lines of the recipients or identity file path that hold a key, read as a key file is
// (an identity file holds a secret); none is an error saying the file "holds no " what.
std::vector<KeyFileLine> KeyLines(const std::string& path, const char* what);

// Every key a seal (or the keys rekey adds) asks for: this machine's TPM with --tpm, choice's
// key when one is given, each recipient, the account's secret with --account-secret, and,
// with orDefault, the account's or machine's secret when nothing else is given (the TPM alone
// stays alone: the account's secret beside it would open the file wherever the disk goes)
// and the recovery recipients a seal with that secret adds, each announced on standard error.
std::vector<SealedKey> SealingKeys(const Options& options, const KeyChoice& choice, bool orDefault);

// Every key an unseal may open with: the TPM with --tpm, the key option's, each identity, or
// else the account's or machine's secret and, for a named INPUT that has a TPM slot, the TPM.
std::vector<SealedKey> UnsealingKeys(const Options& options);

// Warns that output, sealed with keys, is lost with this machine's TPM when that is its only
// key.
void WarnIfOnlyTpm(const std::vector<SealedKey>& keys, const std::string& output);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_SEALED_KEYS_H_
