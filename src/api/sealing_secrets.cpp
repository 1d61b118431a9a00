// The sealing secrets' lifecycle: creation a caller can announce, backup and restoration.
//
// An export's plain text is one fixed record: the magic line, the scope (the key kind's byte,
// 3 or 4), the creation time (8 bytes, big-endian, seconds since 1970) and the 32 bytes of
// the secret. It is sealed as any file is, so the record is authenticated with it.
#include <cstring>

#include "files/byte_streams.h"
#include "platform/secret_file.h"
#include "platform/secure_wipe.h"
#include "sealed/sealed_format.h"
#include "sealed/slot_kind.h"
#include "vantry/secrets.h"

namespace vantry {
namespace {

using platform::kSecretSize;
using Secret = platform::SecretArray<kSecretSize>;

constexpr char kMagic[] = "vantry sealing secret 1\n";
constexpr std::size_t kMagicSize = sizeof kMagic - 1;
constexpr std::size_t kTimeSize = 8;
constexpr std::size_t kRecordSize = kMagicSize + 1 + kTimeSize + kSecretSize;
using Record = platform::SecretArray<kRecordSize>;

SealedKeyKind KindOf(SealingSecretScope scope) {
  return scope == SealingSecretScope::kMachine ? SealedKeyKind::kMachineSecret
                                               : SealedKeyKind::kAccountSecret;
}

const char* Whose(SealingSecretScope scope) {
  return scope == SealingSecretScope::kMachine ? "machine" : "account";
}

std::string Id(const unsigned char secret[kSecretSize]) {
  unsigned char id[sealed::kSecretIdSize];
  sealed::SecretId(secret, id);
  return sealed::HexText(id, sizeof id);
}

// Where the scope's secret is; refused where secret files are not used.
std::string PathOf(SealingSecretScope scope) {
  if (!platform::SecretFilesUsed()) {
    throw SealedError(SealedError::Kind::kNotAvailable,
                      "this system keeps no secret file: the account's and the machine's keys "
                      "are its data protection API's, which has no secret to show, export or "
                      "import");
  }
  return sealed::SecretPath(KindOf(scope));
}

// The scope's secret into secret, created when missing if create is set.
SealingSecretState Load(SealingSecretScope scope, bool create, unsigned char secret[kSecretSize]) {
  SealingSecretState state;
  state.path = PathOf(scope);
  platform::SecretFileFacts facts;
  sealed::WithSecretFile(KindOf(scope), [&] {
    state.exists = platform::ReadSecretFile(state.path, create, secret, nullptr, &facts);
  });
  if (state.exists) {
    state.created = facts.created;
    state.time = facts.time;
    state.id = Id(secret);
  }
  return state;
}

// Collects an export's record, refusing a plain text longer than one.
class RecordWriter final : public ByteWriter {
 public:
  RecordWriter(Record& record, const std::string& name) : m_record(record), m_name(name) {}
  void Write(const void* data, std::size_t n) override {
    if (n > kRecordSize - m_used) {
      NoExport();
    }
    std::memcpy(m_record.bytes + m_used, data, n);
    m_used += n;
  }
  void Commit() override {}
  // Throws unless a whole record with the magic line came.
  void Check() const {
    if (m_used != kRecordSize || std::memcmp(m_record.bytes, kMagic, kMagicSize) != 0) {
      NoExport();
    }
  }

 private:
  [[noreturn]] void NoExport() const {
    throw SealedError(SealedError::Kind::kDamaged,
                      m_name + " is a sealed file but holds no exported secret");
  }
  Record& m_record;
  const std::string& m_name;
  std::size_t m_used = 0;
};

}  // namespace

SealingSecretState EnsureSealingSecret(SealingSecretScope scope) {
  Secret secret;
  return Load(scope, true, secret.bytes);
}

SealingSecretState DescribeSealingSecret(SealingSecretScope scope) {
  Secret secret;
  return Load(scope, false, secret.bytes);
}

SealingSecretState ExportSealingSecret(SealingSecretScope scope, const SealedKey& key,
                                       const std::string& fileName) {
  if (key.kind() == SealedKeyKind::kAccountSecret || key.kind() == SealedKeyKind::kMachineSecret) {
    throw SealedError(SealedError::Kind::kInvalidKey,
                      "a secret sealed with a sealing secret opens only where that one is: "
                      "export it with a passphrase or a raw key");
  }
  Record record;
  const SealingSecretState state = Load(scope, false, record.bytes + kRecordSize - kSecretSize);
  if (!state.exists) {
    throw SealedError(SealedError::Kind::kSecretUnavailable,
                      std::string("this ") + Whose(scope) +
                          " has no secret yet: there is nothing to export (the first seal with "
                          "its key creates it)");
  }
  std::memcpy(record.bytes, kMagic, kMagicSize);
  record.bytes[kMagicSize] = static_cast<unsigned char>(KindOf(scope));
  for (std::size_t i = 0; i < kTimeSize; ++i) {
    record.bytes[kMagicSize + 1 + i] =
        static_cast<unsigned char>(static_cast<std::uint64_t>(state.time) >> (56 - 8 * i));
  }
  // A new file only, readable by its owner alone: an export is as secret as the secret.
  const std::unique_ptr<ByteWriter> output = OpenAtomicFileWriter(
      fileName, platform::WriterOptions{platform::OutputContents::kPlainText, false, true});
  MemoryReader input(record.bytes, kRecordSize);
  SealStream(key, input, *output);
  output->Commit();
  return state;
}

SealingSecretImport ImportSealingSecret(SealingSecretScope scope, const SealedKey& key,
                                        ByteReader& input, const std::string& inputName,
                                        bool replace) {
  const SealedKeyKind kind = KindOf(scope);
  const std::string& name = inputName;
  Record record;
  {
    RecordWriter output(record, name);
    UnsealStream(key, input, name, output);
    output.Check();
  }
  const unsigned char* secret = record.bytes + kRecordSize - kSecretSize;
  if (record.bytes[kMagicSize] != static_cast<unsigned char>(kind)) {
    const bool machine = scope == SealingSecretScope::kMachine;
    throw SealedError(SealedError::Kind::kWrongKind,
                      name + (machine ? " holds an account's secret, not the machine's: import "
                                        "it without --machine-secret"
                                      : " holds the machine's secret, not an account's: import "
                                        "it with --machine-secret"));
  }
  SealingSecretImport result;
  result.secret.id = Id(secret);
  for (std::size_t i = 0; i < kTimeSize; ++i) {
    result.secret.time = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(result.secret.time) << 8) | record.bytes[kMagicSize + 1 + i]);
  }
  Secret current;
  SealingSecretState existing = Load(scope, false, current.bytes);
  result.secret.path = existing.path;
  result.secret.exists = true;
  bool published = false;
  if (!existing.exists) {
    sealed::WithSecretFile(kind, [&] {
      published =
          platform::WriteSecretFile(existing.path, secret, result.secret.time, false, nullptr);
    });
    if (published) {
      return result;
    }
    // Another process created a secret meanwhile: it is judged as one that was there.
    existing = Load(scope, false, current.bytes);
  }
  if (platform::EqualInConstantTime(current.bytes, secret, kSecretSize)) {
    result.outcome = SealingSecretImport::Outcome::kAlreadyThere;
    result.secret.time = existing.time;
    return result;
  }
  result.previousId = existing.id;
  result.keptAs = platform::KeptSecretPath(existing.path, existing.id);
  if (!replace) {
    throw SealedError(
        SealedError::Kind::kOtherAccount,
        name + " holds the " + Whose(scope) + " secret " + result.secret.id + ", but this " +
            Whose(scope) + " has another, " + existing.id + ": to make " + result.secret.id +
            " this " + Whose(scope) + "'s secret, import it with --replace (" + existing.id +
            " is then kept as " + result.keptAs + ", and the files sealed with it still open)");
  }
  sealed::WithSecretFile(kind, [&] {
    // The secret replaced is kept first: at no moment is it on disk nowhere.
    if (!platform::WriteSecretFile(result.keptAs, current.bytes, existing.time, false, nullptr)) {
      Secret kept;
      if (!platform::ReadSecretFile(result.keptAs, false, kept.bytes) ||
          !platform::EqualInConstantTime(kept.bytes, current.bytes, kSecretSize)) {
        throw platform::SecretFileError(result.keptAs + " does not hold the secret " + existing.id +
                                        "; move it away and import again");
      }
    }
    platform::WriteSecretFile(existing.path, secret, result.secret.time, true, nullptr);
  });
  result.outcome = SealingSecretImport::Outcome::kReplaced;
  return result;
}

}  // namespace vantry
