#include "seal_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "commands.h"
#include "console.h"
#include "key_source.h"
#include "operands.h"
#include "progress.h"
#include "sealed_keys.h"
#include "secret_commands.h"
#include "slot_commands.h"
#include "vantry/cipher_error.h"
#include "vantry/machine_key.h"
#include "vantry/rijndael_cipher.h"
#include "vantry/sealed.h"
#include "vantry/streams.h"

namespace vantry::tool {
namespace {

// What the user reads for a failure of a sealed-file command.
std::string Describe(const std::exception& failure) {
  if (StopSignal() != 0) {
    return "interrupted by " + SignalName(StopSignal());
  }
  if (const auto* sealed = dynamic_cast<const SealedError*>(&failure)) {
    switch (sealed->kind()) {
      case SealedError::Kind::kNotSealed:
        return std::string(sealed->what()) +
               "; a protected file is read with 'vantry load' (or 'vantry decrypt')";
      // Authentication (a damage with its place in the file) cannot tell which bytes are
      // wrong, so nothing mends such a file: the user's way out is another copy. Armor that is
      // not in its exact form may be mended (its message says how when it can).
      case SealedError::Kind::kDamaged:
        return std::string(sealed->what()) +
               (sealed->offset() >= 0 ? "; it cannot be repaired: unseal a good copy of it "
                                        "(a backup, or its source)"
                                      : "; unseal a good copy of it (a backup, or its source)");
      case SealedError::Kind::kTruncated:
        return std::string(sealed->what()) + "; copy it again in full (or use a backup)";
      default:
        return sealed->what();
    }
  }
  return DescribeFailure(failure);
}

// The first bytes, read to tell a sealed file from a protected one, then the rest: a stream
// cannot be read twice.
class PrefixedReader : public ByteReader {
 public:
  PrefixedReader(const unsigned char* prefix, std::size_t size, ByteReader& rest)
      : m_prefix(prefix), m_size(size), m_rest(rest) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    if (m_at == m_size) {
      return m_rest.ReadSome(buffer, n);
    }
    const std::size_t part = std::min(n, m_size - m_at);
    std::memcpy(buffer, m_prefix + m_at, part);
    m_at += part;
    return part;
  }

 private:
  const unsigned char* m_prefix;
  std::size_t m_size;
  std::size_t m_at = 0;
  ByteReader& m_rest;
};

enum class Direction { kSeal, kUnseal };

// Seals or unseals INPUT as OUTPUT with keys. Nothing is written unless the header opened.
void Transform(const Options& options, bool seal, const std::vector<SealedKey>& keys) {
  const std::string& input = options.operands[0];
  const std::string& output = options.operands[1];
  std::unique_ptr<ByteReader> opened = OpenInput(input);
  StopCheckingReader stopping(*opened);
  Progress progress(options.progress, KnownSize(input), stderr);
  ProgressReader reader(stopping, progress);
  std::unique_ptr<ByteWriter> writer =
      OpenOutput(output, seal ? OutputKind::kProtected : OutputKind::kPlainText, options.inPlace);
  std::optional<ArmoringWriter> armored;
  ByteWriter& target = seal && options.armor ? armored.emplace(*writer) : *writer;
  if (seal) {
    SealStream(keys, reader, target);
  } else {
    UnsealStream(keys, reader, OperandName(input), target);
  }
  // A named OUTPUT appears only now, after the last segment verified.
  target.Commit();
  progress.Finish();
}

// Whether the named sealed file has a passphrase slot, the one key a terminal can give.
bool HasPassphraseSlot(const std::string& input) {
  std::vector<SealedSlot> slots;
  try {
    ListSealedSlots(*OpenInput(input), OperandName(input), slots);
  } catch (const std::exception&) {
    return false;  // the refusal, which read it, says enough
  }
  return std::any_of(slots.begin(), slots.end(), [](const SealedSlot& slot) {
    return slot.kind == static_cast<std::uint8_t>(SealedKeyKind::kPassphrase);
  });
}

// unseal without a key option of a file none of the default keys opens: its passphrase is
// asked on the terminal, as age does, when INPUT can be read again and has a passphrase slot;
// otherwise the message says which options give the key.
void UnsealAsking(const Options& options, const SealedError& refusal) {
  const std::string& input = options.operands[0];
  if (input == "-" || IsStreamInput(input) || !HasPassphraseSlot(input)) {
    throw std::runtime_error(std::string(refusal.what()) +
                             "; give its key with --ask-key, --key-file, --key-env, "
                             "--key-hex-file, --identity or --tpm");
  }
  KeyChoice ask = options.key;
  ask.source = KeyOrigin::kAsk;
  std::vector<SealedKey> keys;
  try {
    keys.push_back(SealedKeyFor(ask, false, false));
  } catch (const NoTerminal&) {
    throw std::runtime_error(std::string(refusal.what()) +
                             "; there is no terminal to ask for it: give it with --key-file, "
                             "--key-env or --key-hex-file");
  }
  Transform(options, false, keys);
}

int RunSealed(const Options& options, Direction direction) {
  const std::string& input = options.operands[0];
  const std::string& output = options.operands[1];
  CheckOutput(output, options.force);
  CheckDistinct(input, output);
  CheckReplaceable(output, options.inPlace);
  const bool seal = direction == Direction::kSeal;
  // Only the keys an unseal takes without being told: the account's secret, a TPM slot.
  const bool defaultKeys = options.key.source == KeyOrigin::kMachine && !options.machineSecret &&
                           options.identityFiles.empty() && !options.tpm;
  try {
    try {
      const std::vector<SealedKey> keys =
          seal ? SealingKeys(options, options.key, true) : UnsealingKeys(options);
      if (seal) {
        WarnIfOnlyTpm(keys, output);
        AnnounceNewSecrets(keys);
      }
      Transform(options, seal, keys);
    } catch (const SealedError& e) {
      if (seal || !defaultKeys || e.kind() != SealedError::Kind::kWrongKind) {
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
  unsigned char first[64] = {};
  try {
    return LooksSealed(first, OpenInput(operand)->ReadFull(first, sizeof first));
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

int RunSeal(const Options& options) { return RunSealed(options, Direction::kSeal); }

int RunUnseal(const Options& options) { return RunSealed(options, Direction::kUnseal); }

// A protected INPUT under a new key, or sealed (--seal): decrypted as it streams and pushed into
// the new key's encryptor or the sealer, so no plain text reaches the disk.
void RekeyProtected(const Options& options, const std::string& input, const std::string& output) {
  ObtainedKey oldKey;
  ObtainKey(options.key, false, kVantryKeyLength, &oldKey);
  CRijndaelCipher oldCipher;
  KeyCipherForOptions(oldCipher, options, oldKey);
  std::unique_ptr<ByteReader> opened = OpenInput(input);
  StopCheckingReader stopping(*opened);
  Progress progress(options.progress, KnownSize(input), stderr);
  ProgressReader reader(stopping, progress);
  // The machine key is no secret from the users of this machine: its files are owner-only.
  const bool ownerOnly = !options.seal && options.newKey.source == KeyOrigin::kMachine;
  std::unique_ptr<ByteWriter> writer = OpenOutput(
      output, ownerOnly ? OutputKind::kPlainText : OutputKind::kProtected, options.inPlace);
  if (options.seal) {
    const std::vector<SealedKey> newKeys = SealingKeys(options, options.newKey, true);
    WarnIfOnlyTpm(newKeys, output);
    AnnounceNewSecrets(newKeys);
    std::optional<ArmoringWriter> armored;
    SealingWriter sealing(newKeys, options.armor ? armored.emplace(*writer) : *writer);
    DecryptStream(oldCipher, reader, KnownSize(input), OperandName(input), sealing);
    sealing.Commit();
  } else {
    ObtainedKey newKey;
    ObtainKey(options.newKey, true, kVantryKeyLength, &newKey);
    CRijndaelCipher newCipher;
    KeyCipherForOptions(newCipher, options, newKey);
    // Pushed into the library's encryptor: whole blocks in, so the rekeyed file has the
    // length of the original.
    const std::unique_ptr<ByteWriter> protecting = EncryptStream(newCipher, *writer);
    DecryptStream(oldCipher, reader, KnownSize(input), OperandName(input), *protecting);
    protecting->Commit();
  }
  progress.Finish();
}

int RunRekey(const Options& options) {
  const std::string& input = options.operands[0];
  const std::string& output = options.operands[1];
  CheckOutput(output, options.force);
  CheckDistinct(input, output);
  CheckReplaceable(output, options.inPlace);
  try {
    if (StartsSealed(input)) {
      std::unique_ptr<ByteReader> opened = OpenInput(input);
      StopCheckingReader reader(*opened);
      return RunRekeySealed(options, reader);
    }
    if (options.tpm && !options.seal) {
      throw std::runtime_error("--tpm adds a slot to a sealed file; " + OperandName(input) +
                               " is a protected file: give --seal to make OUTPUT a sealed one");
    }
    RekeyProtected(options, input, output);
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
  std::vector<SealedKey> sealedKeys;
  for (const std::string& file : options.operands) {
    int answer = 0;
    try {
      // Opened once and told apart by its first bytes, so a stream is judged as a file is.
      std::unique_ptr<ByteReader> opened = OpenInput(file);
      StopCheckingReader checked(*opened);
      unsigned char first[64] = {};
      const std::size_t got = checked.ReadFull(first, sizeof first);
      PrefixedReader input(first, got, checked);
      if (LooksSealed(first, got)) {
        if (sealedKeys.empty()) {
          sealedKeys = UnsealingKeys(options);
        }
        CountingWriter sink;
        UnsealStream(sealedKeys, input, OperandName(file), sink);
        std::printf("%s: authentic sealed file, %llu bytes\n", PrintableName(file).c_str(),
                    static_cast<unsigned long long>(sink.count));
      } else {
        answer = RunVerify(options, file, input);
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
  // A stop signal ends the run as the signal, however far the files got.
  StopIfSignalled();
  if (failures > 0 && options.operands.size() > 1) {
    std::fprintf(stderr, "vantry: %d of %zu files failed verification\n", failures,
                 options.operands.size());
  }
  return FlushStandardOutput(status, 2);
}

void ExplainSealedInput(const Options& options) {
  if (!options.operands.empty() && StartsSealed(options.operands[0])) {
    throw std::runtime_error(OperandName(options.operands[0]) +
                             " is a sealed file: read it with 'vantry unseal'");
  }
}

}  // namespace vantry::tool
