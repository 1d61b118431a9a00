#include "sealed/sealed_format.h"

#include <algorithm>

#include "platform/data_protection.h"
#include "platform/secret_file.h"
#include "platform/secure_wipe.h"
#include "sealed/slot_kind.h"
#include "vantry/file_error.h"

namespace vantry::sealed {
namespace sc = platform::sealing;
namespace {

const char kLabelPrefix[] = "vantry sealed v1 ";

}  // namespace

void AppendBigEndian(std::vector<unsigned char>& out, std::uint32_t value, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
    out.push_back(static_cast<unsigned char>(value >> shift));
  }
}

std::uint32_t ReadBigEndian(const unsigned char* p, int bytes) noexcept {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    value = (value << 8) | p[i];
  }
  return value;
}

const char* KindPhrase(SealedKeyKind kind) {
  const SlotKind* slotKind = FindSlotKind(static_cast<std::uint8_t>(kind));
  return slotKind != nullptr ? slotKind->Phrase() : "an unknown kind of key";
}

namespace {

platform::SecretScope ScopeOf(SealedKeyKind kind) {
  return kind == SealedKeyKind::kMachineSecret ? platform::SecretScope::kMachine
                                               : platform::SecretScope::kAccount;
}

const char* Whose(SealedKeyKind kind) {
  return kind == SealedKeyKind::kMachineSecret ? "machine" : "account";
}

}  // namespace

std::string SecretPath(SealedKeyKind kind) {
  std::string path;
  WithSecretFile(kind, [&] { path = platform::SecretFilePath(ScopeOf(kind)); });
  return path;
}

void WithSecretFile(SealedKeyKind kind, const std::function<void()>& act) {
  try {
    act();
  } catch (const platform::SecretFileError& e) {
    throw SealedError(SealedError::Kind::kSecretUnavailable, e.what());
  } catch (const FileError& e) {
    throw SealedError(SealedError::Kind::kSecretUnavailable,
                      std::string("cannot use this ") + Whose(kind) + "'s secret: " + e.what());
  }
}

bool ReadSecret(SealedKeyKind kind, bool create, unsigned char out[32]) {
  bool found = false;
  WithSecretFile(kind, [&] {
    found = platform::ReadSecretFile(platform::SecretFilePath(ScopeOf(kind)), create, out);
  });
  return found;
}

void OpenSecret(SealedKeyKind kind, const unsigned char id[kSecretIdSize],
                const std::string& fileName, unsigned char out[32]) {
  const std::string path = SecretPath(kind);
  const std::string wanted = HexText(id, kSecretIdSize);
  unsigned char own[kSecretIdSize];
  bool present = false;
  // The current secret first, then the one an import kept under the identifier the file names.
  for (const std::string& candidate : {path, platform::KeptSecretPath(path, wanted)}) {
    bool found = false;
    WithSecretFile(kind, [&] { found = platform::ReadSecretFile(candidate, false, out); });
    if (!found) {
      continue;
    }
    unsigned char got[kSecretIdSize];
    SecretId(out, got);
    if (platform::EqualInConstantTime(got, id, kSecretIdSize)) {
      return;
    }
    platform::SecureWipe(out, 32);
    if (candidate == path) {
      present = true;
      std::copy(got, got + kSecretIdSize, own);
    }
  }
  const std::string whose = Whose(kind);
  throw SealedError(SealedError::Kind::kOtherAccount,
                    fileName + " was sealed for another " + whose + ": it needs the " + whose +
                        " secret " + wanted +
                        (present ? ", this " + whose + "'s is " + HexText(own, kSecretIdSize)
                                 : ", and this " + whose + " has no secret yet") +
                        "; to open it here, import a backup of that secret with " +
                        platform::SecretImportCommand(ScopeOf(kind)));
}

FileKeys::~FileKeys() {
  platform::SecureWipe(check, sizeof check);
  platform::SecureWipe(mac, sizeof mac);
  platform::SecureWipe(payload, sizeof payload);
}

int ParameterSize(std::uint8_t kind) noexcept {
  switch (static_cast<SealedKeyKind>(kind)) {
    case SealedKeyKind::kPassphrase:
      return 4;
    case SealedKeyKind::kRawKey:
      return 0;
    case SealedKeyKind::kAccountSecret:
    case SealedKeyKind::kMachineSecret:
      return static_cast<int>(kSecretIdSize);
    case SealedKeyKind::kWindowsAccount:
    case SealedKeyKind::kWindowsMachine:
      return kVariableSize;
    case SealedKeyKind::kRecipient:  // version 2 only
    case SealedKeyKind::kTpm:
      break;
  }
  return -1;
}

void DeriveFileKeys(const unsigned char keyMaterial[32], const unsigned char salt[kSaltSize],
                    FileKeys& keys) {
  DeriveFileKeys(keyMaterial, salt, keys, 1);
}

void DeriveFileKeys(const unsigned char keyMaterial[32], const unsigned char salt[kSaltSize],
                    FileKeys& keys, int version) {
  const std::string prefix = "vantry sealed v" + std::to_string(version) + " ";
  sc::HkdfSha256(keyMaterial, 32, salt, kSaltSize, prefix + "key check", keys.check,
                 sizeof keys.check);
  sc::HkdfSha256(keyMaterial, 32, salt, kSaltSize, prefix + "header", keys.mac, sizeof keys.mac);
  sc::HkdfSha256(keyMaterial, 32, salt, kSaltSize, prefix + "payload", keys.payload,
                 sizeof keys.payload);
}

void SecretId(const unsigned char secret[32], unsigned char id[kSecretIdSize]) {
  sc::HkdfSha256(secret, 32, nullptr, 0, std::string(kLabelPrefix) + "secret id", id,
                 kSecretIdSize);
}

std::vector<unsigned char> EncodeHeaderBody(const Header& header) {
  std::vector<unsigned char> out(kMagic, kMagic + sizeof kMagic);
  out.push_back(kVersion);
  const auto kind = static_cast<std::uint8_t>(header.kind);
  out.push_back(kind);
  const int size = ParameterSize(kind);
  AppendBigEndian(out,
                  static_cast<std::uint32_t>(
                      size == kVariableSize ? header.blob.size() : static_cast<std::size_t>(size)),
                  2);
  if (header.kind == SealedKeyKind::kPassphrase) {
    AppendBigEndian(out, header.iterations, 4);
  } else if (size == kVariableSize) {
    out.insert(out.end(), header.blob.begin(), header.blob.end());
  } else if (header.kind != SealedKeyKind::kRawKey) {
    out.insert(out.end(), header.secretId, header.secretId + kSecretIdSize);
  }
  out.insert(out.end(), header.salt, header.salt + kSaltSize);
  out.insert(out.end(), header.prefix, header.prefix + kPrefixSize);
  out.insert(out.end(), header.keyCheck, header.keyCheck + kCheckSize);
  return out;
}

void SealHeader(std::vector<unsigned char>& body, const unsigned char macKey[32]) {
  unsigned char digest[sc::kDigestSize];
  sc::Sha256(body.data(), body.size(), digest);
  body.insert(body.end(), digest, digest + kDigestSize);
  unsigned char mac[kMacSize];
  sc::HmacSha256(macKey, body.data(), body.size(), mac);
  body.insert(body.end(), mac, mac + kMacSize);
}

void SegmentNonce(const unsigned char prefix[kPrefixSize], std::uint32_t index, bool last,
                  unsigned char nonce[sc::kNonceSize]) {
  for (std::size_t i = 0; i < kPrefixSize; ++i) {
    nonce[i] = prefix[i];
  }
  nonce[7] = static_cast<unsigned char>(index >> 24);
  nonce[8] = static_cast<unsigned char>(index >> 16);
  nonce[9] = static_cast<unsigned char>(index >> 8);
  nonce[10] = static_cast<unsigned char>(index);
  nonce[11] = last ? 1 : 0;
}

bool IsAccountOrMachine(SealedKeyKind kind) {
  const SlotKind* slotKind = FindSlotKind(static_cast<std::uint8_t>(kind));
  return slotKind != nullptr && slotKind->Owner() != nullptr;
}

void OtherOwner(SealedKeyKind fileKind, SealedKeyKind keyKind, const std::string& fileName) {
  const bool windows =
      fileKind == SealedKeyKind::kWindowsAccount || fileKind == SealedKeyKind::kWindowsMachine;
  const bool windowsKey =
      keyKind == SealedKeyKind::kWindowsAccount || keyKind == SealedKeyKind::kWindowsMachine;
  if (windows != windowsKey) {
    throw SealedError(SealedError::Kind::kOtherAccount,
                      fileName + " was sealed for an account or machine of another system, with " +
                          KindPhrase(fileKind));
  }
  const bool machine =
      fileKind == SealedKeyKind::kMachineSecret || fileKind == SealedKeyKind::kWindowsMachine;
  throw SealedError(SealedError::Kind::kOtherAccount,
                    fileName + (machine ? " was sealed with the machine's key, not an account's: "
                                          "open it with the machine's key"
                                        : " was sealed with an account's key, not the machine's: "
                                          "open it with the account's key"));
}

void KeyMaterial(const SealedKey& key, Header& header, bool sealing, const std::string& fileName,
                 unsigned char out[32]) {
  if (!sealing && header.kind != key.kind() && IsAccountOrMachine(header.kind) &&
      IsAccountOrMachine(key.kind())) {
    OtherOwner(header.kind, key.kind(), fileName);
  }
  if (!sealing && header.kind != key.kind()) {
    throw SealedError(SealedError::Kind::kWrongKind, fileName + " was sealed with " +
                                                         KindPhrase(header.kind) + ", not " +
                                                         KindPhrase(key.kind()));
  }
  switch (key.kind()) {
    case SealedKeyKind::kPassphrase: {
      if (sealing) {
        header.iterations = key.iterations();
      } else if (header.iterations == 0 || header.iterations > kSealedMaxIterations) {
        throw SealedError(SealedError::Kind::kDamaged,
                          fileName + " asks for " + std::to_string(header.iterations) +
                              " PBKDF2 iterations, outside 1 to " +
                              std::to_string(kSealedMaxIterations) + ": it is damaged or hostile",
                          -1, 0);
      }
      sc::Pbkdf2Sha256(key.material().data(), key.material().size(), header.salt, kSaltSize,
                       header.iterations, out);
      return;
    }
    case SealedKeyKind::kRawKey:
      for (std::size_t i = 0; i < 32; ++i) {
        out[i] = static_cast<unsigned char>(key.material()[i]);
      }
      return;
    case SealedKeyKind::kAccountSecret:
    case SealedKeyKind::kMachineSecret: {
      if (!sealing) {
        OpenSecret(key.kind(), header.secretId, fileName, out);
        return;
      }
      ReadSecret(key.kind(), true, out);
      SecretId(out, header.secretId);
      return;
    }
    case SealedKeyKind::kWindowsAccount:
    case SealedKeyKind::kWindowsMachine: {
      const bool machine = key.kind() == SealedKeyKind::kWindowsMachine;
      if (sealing) {
        sc::RandomBytes(out, 32);
        try {
          header.blob = platform::ProtectKey(out, machine);
        } catch (const std::runtime_error& e) {
          platform::SecureWipe(out, 32);
          throw SealedError(SealedError::Kind::kSecretUnavailable, e.what());
        }
      } else if (!platform::UnprotectKey(header.blob, machine, out)) {
        throw SealedError(SealedError::Kind::kOtherAccount,
                          fileName + " was sealed for another " +
                              (machine ? "machine" : "account") +
                              " (its key's protection does not open here)");
      }
      return;
    }
    case SealedKeyKind::kRecipient:  // never a version-1 file's kind: refused above
    case SealedKeyKind::kTpm:
      break;
  }
  throw SealedError(SealedError::Kind::kInvalidKey, "unknown key kind");
}

}  // namespace vantry::sealed
