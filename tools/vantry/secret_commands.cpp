#include "secret_commands.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "operands.h"
#include "sealed_keys.h"
#include "vantry/secrets.h"

namespace vantry::tool {
namespace {

SealingSecretScope ScopeOf(const Options& options) {
  return options.machineSecret ? SealingSecretScope::kMachine : SealingSecretScope::kAccount;
}

std::string Whose(SealingSecretScope scope) {
  return scope == SealingSecretScope::kMachine ? "machine" : "account";
}

std::string TimeText(std::int64_t seconds) {
  char text[32] = "";
  const auto time = static_cast<std::time_t>(seconds);
  if (const std::tm* utc = std::gmtime(&time)) {
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
  }
  return text;
}

// The key that seals or opens an export: a key option's, else a passphrase asked on the
// terminal (twice when it seals: a mistyped one would lose the backup).
SealedKey ExportKey(const Options& options, bool confirm) {
  KeyChoice choice = options.key;
  if (choice.source == KeyOrigin::kMachine) {
    choice.source = KeyOrigin::kAsk;
  }
  return SealedKeyFor(choice, false, confirm);
}

int Flushed() { return FlushStandardOutput(0); }

// A file's failure in the words of the other commands ("cannot read 'FILE': ...").
template <typename Run>
int Described(const Run& run) {
  try {
    return run();
  } catch (const std::exception& e) {
    throw std::runtime_error(DescribeFailure(e));
  }
}

}  // namespace

void AnnounceNewSecrets(const std::vector<SealedKey>& keys) {
  for (const SealedKey& key : keys) {
    if (key.kind() != SealedKeyKind::kAccountSecret &&
        key.kind() != SealedKeyKind::kMachineSecret) {
      continue;
    }
    const bool machine = key.kind() == SealedKeyKind::kMachineSecret;
    const SealingSecretState secret =
        EnsureSealingSecret(machine ? SealingSecretScope::kMachine : SealingSecretScope::kAccount);
    if (secret.created) {
      const std::string whose = machine ? "machine" : "account";
      std::fprintf(stderr,
                   "vantry: created this %s's secret %s in %s; the files sealed with it open "
                   "only with it (or another of their keys): back it up with 'vantry secret "
                   "export %sFILE' and keep the copy off this machine\n",
                   whose.c_str(), secret.id.c_str(), PrintableName(secret.path).c_str(),
                   machine ? "--machine-secret " : "");
    }
  }
}

int RunSecretShow(const Options& options) {
  const SealingSecretScope scope = ScopeOf(options);
  const SealingSecretState secret = DescribeSealingSecret(scope);
  std::printf("%s secret: %s\n", Whose(scope).c_str(), PrintableName(secret.path).c_str());
  if (!secret.exists) {
    std::printf("no secret yet: the first seal with this %s's key creates it\n",
                Whose(scope).c_str());
  } else {
    std::printf("identifier: %s\ncreated: %s\n", secret.id.c_str(), TimeText(secret.time).c_str());
  }
  return Flushed();
}

namespace {

int Export(const Options& options) {
  const std::string& file = options.operands[0];
  const SealingSecretScope scope = ScopeOf(options);
  // Refused before a passphrase is asked for nothing (the library refuses a file that
  // appears meanwhile).
  std::error_code error;
  if (file == "-" || std::filesystem::symlink_status(file, error).type() !=
                         std::filesystem::file_type::not_found) {
    throw std::runtime_error(file == "-" ? "an export is written to a new named file, not to "
                                           "standard output"
                                         : OperandName(file) +
                                               " exists: an export never replaces a file; name "
                                               "a new one");
  }
  if (!DescribeSealingSecret(scope).exists) {
    throw std::runtime_error("this " + Whose(scope) + " has no secret yet: nothing to export");
  }
  const SealingSecretState secret = ExportSealingSecret(scope, ExportKey(options, true), file);
  std::printf(
      "exported the %s secret %s (created %s) to %s: keep it off this machine, and its "
      "passphrase apart from it\n",
      Whose(scope).c_str(), secret.id.c_str(), TimeText(secret.time).c_str(),
      OperandName(file).c_str());
  return Flushed();
}

int Import(const Options& options) {
  const SealingSecretScope scope = ScopeOf(options);
  const std::string& file = options.operands[0];
  // Opened before a passphrase is asked for a file that is not there.
  const std::unique_ptr<ByteReader> input = OpenInput(file);
  const SealingSecretImport done = ImportSealingSecret(scope, ExportKey(options, false), *input,
                                                       OperandName(file), options.replace);
  const std::string whose = Whose(scope);
  const std::string& id = done.secret.id;
  switch (done.outcome) {
    case SealingSecretImport::Outcome::kCreated:
      std::printf("imported the %s secret %s as %s\n", whose.c_str(), id.c_str(),
                  PrintableName(done.secret.path).c_str());
      break;
    case SealingSecretImport::Outcome::kAlreadyThere:
      std::printf("this %s's secret is %s already: nothing to import\n", whose.c_str(), id.c_str());
      break;
    case SealingSecretImport::Outcome::kReplaced:
      std::printf(
          "the %s secret is now %s; %s is kept as %s, and the files sealed with it "
          "still open\n",
          whose.c_str(), id.c_str(), done.previousId.c_str(), PrintableName(done.keptAs).c_str());
      break;
  }
  return Flushed();
}

}  // namespace

int RunSecretExport(const Options& options) {
  return Described([&] { return Export(options); });
}

int RunSecretImport(const Options& options) {
  return Described([&] { return Import(options); });
}

}  // namespace vantry::tool
