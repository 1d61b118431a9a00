#include "seal_commands.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "commands.h"
#include "console.h"
#include "key_source.h"
#include "operands.h"
#include "progress.h"
#include "vantry/cipher_error.h"
#include "vantry/machine_key.h"
#include "vantry/rijndael_cipher.h"
#include "vantry/sealed.h"
#include "vantry/streams.h"

namespace vantry::tool {
namespace {

// A sealed file's key from the command line: the account's secret unless --machine-secret or a
// key option says otherwise; a key text is a passphrase, taken whole.
SealedKey SealedKeyFor(const KeyChoice& choice, bool machineSecret, bool confirm) {
  if (choice.source == KeyOrigin::kMachine) {
    return machineSecret ? SealedKey::MachineSecret() : SealedKey::AccountSecret();
  }
  ObtainedKey key;
  ObtainKey(choice, confirm, 0, &key);
  if (key.rawData) {
    if (key.bytes.size() != 32) {
      throw std::runtime_error("a sealed file's raw key is 32 bytes (64 hexadecimal digits), not " +
                               std::to_string(key.bytes.size()));
    }
    return SealedKey::Raw(key.bytes.data(), key.bytes.size());
  }
  return SealedKey::Passphrase(key.text);
}

// What the user reads for a failure of a sealed-file command.
std::string Describe(const std::exception& failure) {
  if (StopSignal() != 0) {
    return "interrupted by " + SignalName(StopSignal());
  }
  if (const auto* sealed = dynamic_cast<const SealedError*>(&failure)) {
    if (sealed->kind() == SealedError::Kind::kNotSealed) {
      return std::string(sealed->what()) +
             "; a protected file is read with 'vantry load' (or 'vantry decrypt')";
    }
    return sealed->what();
  }
  return DescribeFailure(failure);
}

// A stop signal ends the run at the next read or write; the output is then abandoned.
class StopAwareReader : public ByteReader {
 public:
  explicit StopAwareReader(ByteReader& inner) : m_inner(inner) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    if (StopSignal() != 0) {
      throw std::runtime_error("interrupted");
    }
    return m_inner.ReadSome(buffer, n);
  }

 private:
  ByteReader& m_inner;
};

enum class Direction { kSeal, kUnseal };

// Seals or unseals INPUT as OUTPUT with key. Nothing is written unless the header opened.
void Transform(const Options& options, bool seal, const SealedKey& key) {
  const std::string& input = options.operands[0];
  const std::string& output = options.operands[1];
  std::unique_ptr<ByteReader> opened = OpenInput(input);
  StopAwareReader stopping(*opened);
  Progress progress(options.progress, KnownSize(input), stderr);
  ProgressReader reader(stopping, progress);
  std::unique_ptr<ByteWriter> writer =
      OpenOutput(output, seal ? OutputKind::kProtected : OutputKind::kPlainText, options.inPlace);
  if (seal) {
    SealStream(key, reader, *writer);
  } else {
    UnsealStream(key, reader, OperandName(input), *writer);
  }
  // A named OUTPUT appears only now, after the last segment verified.
  writer->Commit();
  progress.Finish();
}

// unseal without a key option of a file that needs a passphrase (or a raw key): the
// passphrase is asked on the terminal, as age does, when INPUT can be read again; with no
// terminal the message says which options give the key.
void UnsealAsking(const Options& options, const SealedError& refusal) {
  const std::string& input = options.operands[0];
  if (input == "-" || IsStreamInput(input)) {
    throw std::runtime_error(std::string(refusal.what()) +
                             "; give its key with --ask-key, --key-file, --key-env or "
                             "--key-hex-file");
  }
  KeyChoice ask = options.key;
  ask.source = KeyOrigin::kAsk;
  std::optional<SealedKey> key;
  try {
    key.emplace(SealedKeyFor(ask, false, false));
  } catch (const NoTerminal&) {
    throw std::runtime_error(std::string(refusal.what()) +
                             "; there is no terminal to ask for it: give it with --key-file, "
                             "--key-env or --key-hex-file");
  }
  Transform(options, false, *key);
}

int RunSealed(const Options& options, Direction direction) {
  const std::string& input = options.operands[0];
  const std::string& output = options.operands[1];
  CheckOutput(output, options.force);
  CheckDistinct(input, output);
  CheckReplaceable(output, options.inPlace);
  const bool seal = direction == Direction::kSeal;
  const bool defaultKey = options.key.source == KeyOrigin::kMachine && !options.machineSecret;
  try {
    try {
      Transform(options, seal, SealedKeyFor(options.key, options.machineSecret, seal));
    } catch (const SealedError& e) {
      if (seal || !defaultKey || e.kind() != SealedError::Kind::kWrongKind) {
        throw;
      }
      UnsealAsking(options, e);
    }
  } catch (const std::exception& e) {
    throw std::runtime_error(Describe(e));
  }
  return 0;
}

// Looks at the first bytes of a named file. Standard input, FIFOs and devices are not probed:
// what was read from them would be gone for the command itself.
bool StartsSealed(const std::string& operand) {
  if (operand == "-" || IsStreamInput(operand)) {
    return false;
  }
  unsigned char first[8] = {};
  try {
    return LooksSealed(first, OpenInput(operand)->ReadFull(first, sizeof first));
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

int RunSeal(const Options& options) { return RunSealed(options, Direction::kSeal); }

int RunUnseal(const Options& options) { return RunSealed(options, Direction::kUnseal); }

int RunRekey(const Options& options) {
  const std::string& input = options.operands[0];
  const std::string& output = options.operands[1];
  CheckOutput(output, options.force);
  CheckDistinct(input, output);
  CheckReplaceable(output, options.inPlace);
  if (StartsSealed(input)) {
    throw std::runtime_error(OperandName(input) +
                             " is a sealed file; rekey reads protected files (unseal it and seal "
                             "it again: vantry unseal ... - | vantry seal - ...)");
  }
  try {
    ObtainedKey oldKey;
    ObtainKey(options.key, false, kVantryKeyLength, &oldKey);
    CRijndaelCipher oldCipher;
    KeyCipherForOptions(oldCipher, options, oldKey);
    std::unique_ptr<ByteReader> opened = OpenInput(input);
    StopAwareReader stopping(*opened);
    Progress progress(options.progress, KnownSize(input), stderr);
    ProgressReader reader(stopping, progress);
    // The machine key is no secret from the users of this machine: its files are owner-only.
    const bool ownerOnly = !options.seal && options.newKey.source == KeyOrigin::kMachine;
    std::unique_ptr<ByteWriter> writer = OpenOutput(
        output, ownerOnly ? OutputKind::kPlainText : OutputKind::kProtected, options.inPlace);
    if (options.seal) {
      const SealedKey newKey = SealedKeyFor(options.newKey, options.machineSecret, true);
      SealingWriter sealing(newKey, *writer);
      DecryptStream(oldCipher, reader, OperandName(input), sealing);
      sealing.Commit();
    } else {
      ObtainedKey newKey;
      ObtainKey(options.newKey, true, kVantryKeyLength, &newKey);
      CRijndaelCipher newCipher;
      KeyCipherForOptions(newCipher, options, newKey);
      // Pushed into the library's encryptor: whole blocks in, so the rekeyed file has the
      // length of the original.
      const std::unique_ptr<ByteWriter> protecting = EncryptStream(newCipher, *writer);
      DecryptStream(oldCipher, reader, OperandName(input), *protecting);
      protecting->Commit();
    }
    progress.Finish();
  } catch (const CipherError& e) {
    // The library's own text names neither what failed nor what to do.
    if (e.kind() == CipherError::Kind::kWrongKey) {
      throw std::runtime_error("cannot rekey " + OperandName(input) +
                               ": the key given does not match (or it is not a protected "
                               "file): give the key that protected it with --key-file, "
                               "--key-env or --ask-key, or none for the machine key");
    }
    if (e.kind() == CipherError::Kind::kIllegalBlockSize) {
      throw std::runtime_error("cannot rekey " + OperandName(input) +
                               ": the file is damaged or cut (its cipher text is not whole "
                               "blocks)");
    }
    throw std::runtime_error(Describe(e));
  } catch (const std::exception& e) {
    throw std::runtime_error(Describe(e));
  }
  return 0;
}

int RunVerifyFiles(const Options& options) {
  // The worst answer wins: 2 when any FILE could not be checked, else 1 when any does not
  // match, else 0.
  int status = 0;
  int failures = 0;
  std::unique_ptr<SealedKey> sealedKey;
  for (const std::string& file : options.operands) {
    int answer = 0;
    try {
      if (StartsSealed(file)) {
        if (!sealedKey) {
          KeyChoice choice = options.key;
          choice.whole = true;
          sealedKey.reset(new SealedKey(SealedKeyFor(choice, options.machineSecret, false)));
        }
        CountingWriter sink;
        UnsealStream(*sealedKey, *OpenInput(file), OperandName(file), sink);
        std::printf("%s: authentic sealed file, %llu bytes\n", PrintableName(file).c_str(),
                    static_cast<unsigned long long>(sink.count));
      } else {
        Options one = options;
        one.operands = {file};
        answer = RunVerify(one);
      }
    } catch (const SealedError& e) {
      if (StopSignal() != 0) {
        throw;
      }
      // The file was read and is not what this key sealed; only a secret that cannot be had
      // means the check could not be made.
      answer = e.kind() == SealedError::Kind::kSecretUnavailable ||
                       e.kind() == SealedError::Kind::kInvalidKey
                   ? 2
                   : 1;
      std::fflush(stdout);
      std::fprintf(stderr, "vantry: error: %s\n", Describe(e).c_str());
    } catch (const std::exception& e) {
      if (StopSignal() != 0) {
        throw;
      }
      answer = 2;
      std::fflush(stdout);
      std::fprintf(stderr, "vantry: error: %s\n", Describe(e).c_str());
    }
    failures += answer != 0 ? 1 : 0;
    status = answer > status ? answer : status;
  }
  if (failures > 0 && options.operands.size() > 1) {
    std::fprintf(stderr, "vantry: %d of %zu files failed verification\n", failures,
                 options.operands.size());
  }
  return std::fflush(stdout) == 0 ? status : 2;
}

void ExplainSealedInput(const Options& options) {
  if (!options.operands.empty() && StartsSealed(options.operands[0])) {
    throw std::runtime_error(OperandName(options.operands[0]) +
                             " is a sealed file: read it with 'vantry unseal'");
  }
}

}  // namespace vantry::tool
