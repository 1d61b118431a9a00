// The account's and the machine's sealing secrets (the keys of SealedKey::AccountSecret and
// MachineSecret on POSIX): whether one exists, its backup and its restoration.
//
// A secret is 32 random bytes in a file only its owner can read, created on the first seal
// that needs it; every file sealed with it needs it again (or another of its slots) to open.
// Whoever loses the file (a new machine, a home restored without its hidden folders) loses
// those files, so a program that seals with it should tell its user when it was created and
// how to back it up. An export is a sealed file under a key of the user's choice whose plain
// text is the secret and its creation time; importing it publishes the secret again.
//
// A secret replaced by an import is kept beside the new one, named by its identifier
// ("account-secret-<identifier>"), and files sealed with it still open: unsealing looks there
// for a secret the file names that is not the current one. Nothing here deletes a secret.
//
// Windows keeps these keys with its data protection API and no secret file: every call below
// throws SealedError (kNotAvailable) there.
#ifndef VANTRY_SECRETS_H_
#define VANTRY_SECRETS_H_

#include <cstdint>
#include <string>

#include "vantry/export.h"
#include "vantry/sealed.h"

namespace vantry {

enum class SealingSecretScope { kAccount, kMachine };

// What is known of a scope's secret.
struct SealingSecretState {
  std::string path;  // where its file is, or will be
  bool exists = false;
  bool created = false;   // EnsureSealingSecret: this call created it
  std::string id;         // its 16-byte identifier in lower-case hexadecimal
  std::int64_t time = 0;  // when it was created, in seconds since 1970 (UTC)
};

// The scope's secret, created when missing as a seal creates it. Throws SealedError
// (kSecretUnavailable: a file that cannot be trusted, named with what to do; a machine secret
// only root may create).
VANTRY_API SealingSecretState EnsureSealingSecret(SealingSecretScope scope);

// The scope's secret if it exists (exists false, and its path, when not). Throws as above.
VANTRY_API SealingSecretState DescribeSealingSecret(SealingSecretScope scope);

// Writes the scope's secret to the new file fileName, readable by its owner alone and never
// over an existing file, sealed with key. Throws SealedError (kSecretUnavailable: no secret
// yet) and FileError naming fileName.
VANTRY_API SealingSecretState ExportSealingSecret(SealingSecretScope scope, const SealedKey& key,
                                                  const std::string& fileName);

// What an import did.
struct SealingSecretImport {
  enum class Outcome { kCreated, kAlreadyThere, kReplaced } outcome = Outcome::kCreated;
  SealingSecretState secret;  // the secret imported
  std::string previousId;     // kReplaced: the secret it replaced...
  std::string keptAs;         // ...and where that one is kept
};

// Publishes the secret of the export input holds, opened with key: when the scope has none;
// when it has this one (kAlreadyThere, nothing written); or with replace over a different one,
// which is kept as described above. Throws SealedError naming inputName: those of unsealing
// it, kWrongKind for the other scope's export, kDamaged for a sealed file that holds no export,
// kOtherAccount for a different secret without replace (naming both identifiers).
VANTRY_API SealingSecretImport ImportSealingSecret(SealingSecretScope scope, const SealedKey& key,
                                                   ByteReader& input, const std::string& inputName,
                                                   bool replace);

}  // namespace vantry

#endif  // VANTRY_SECRETS_H_
