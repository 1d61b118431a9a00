#include "sealed_keys.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "console.h"
#include "key_source.h"
#include "operands.h"
#include "secret.h"

namespace vantry::tool {
namespace {

bool GivesKey(const KeyChoice& choice) { return choice.source != KeyOrigin::kMachine; }

// Whether the named sealed file has a TPM slot (standard input and streams are not probed:
// what was read from them would be gone for the unseal).
bool HasTpmSlot(const std::string& operand) {
  if (operand == "-" || IsStreamInput(operand)) {
    return false;
  }
  try {
    std::vector<SealedSlot> slots;
    ListSealedSlots(*OpenInput(operand), OperandName(operand), slots);
    return std::any_of(slots.begin(), slots.end(), [](const SealedSlot& slot) {
      return slot.kind == static_cast<std::uint8_t>(SealedKeyKind::kTpm);
    });
  } catch (const std::exception&) {
    return false;  // unsealing it says what is wrong
  }
}

}  // namespace

// The lines of a recipients or identity file that hold a key, read as a key file is (the
// identity file holds a secret).
std::vector<KeyFileLine> KeyLines(const std::string& path, const char* what) {
  ObtainedKey file;
  ObtainKey({KeyOrigin::kFile, path, true}, false, 0, &file);
  std::vector<KeyFileLine> lines = KeyFileLines(file.text);
  if (lines.empty()) {
    throw std::runtime_error(OperandName(path) + " holds no " + std::string(what));
  }
  return lines;
}

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

std::vector<SealedKey> SealingKeys(const Options& options, const KeyChoice& choice,
                                   bool orDefault) {
  std::vector<SealedKey> keys;
  if (options.tpm) {
    keys.push_back(SealedKey::Tpm(options.tpmPcrs));
  }
  if (GivesKey(choice)) {
    keys.push_back(SealedKeyFor(choice, false, true));
  }
  for (const std::string& recipient : options.recipients) {
    keys.push_back(RecipientFromText(recipient));
  }
  for (const std::string& file : options.recipientFiles) {
    for (const KeyFileLine& line : KeyLines(file, "key")) {
      keys.push_back(RecipientFromText(line.text));
    }
  }
  if (options.accountSecret) {
    keys.push_back(SealedKey::AccountSecret());
  }
  if (orDefault && (keys.empty() || (options.machineSecret && !GivesKey(choice)))) {
    keys.push_back(options.machineSecret ? SealedKey::MachineSecret() : SealedKey::AccountSecret());
  }
  if (!orDefault) {
    return keys;
  }
  // The seal adds them anyway; added here, they are announced exactly as written.
  std::vector<RecoveryRecipient> added;
  keys = WithRecoveryRecipients(keys, &added);
  for (const RecoveryRecipient& recipient : added) {
    std::fprintf(stderr, "vantry: also sealed for the recovery recipient %s (from %s)\n",
                 recipient.recipient.c_str(), PrintableName(recipient.list).c_str());
  }
  return keys;
}

std::vector<SealedKey> UnsealingKeys(const Options& options) {
  KeyChoice choice = options.key;
  choice.whole = true;
  std::vector<SealedKey> keys;
  for (const std::string& file : options.identityFiles) {
    for (KeyFileLine& line : KeyLines(file, "key")) {
      keys.push_back(IdentityFromText(line.text));
      WipeString(line.text);
    }
  }
  // rekey's --tpm adds a slot; unseal's opens one.
  const bool tpm = options.tpm && options.command == Command::kUnseal;
  const bool defaultKey = !GivesKey(choice) && keys.empty();
  if (GivesKey(choice) || (defaultKey && (!tpm || options.machineSecret))) {
    keys.push_back(SealedKeyFor(choice, options.machineSecret, false));
  }
  if (tpm || (defaultKey && !options.operands.empty() && HasTpmSlot(options.operands[0]))) {
    keys.push_back(SealedKey::Tpm());
  }
  return keys;
}

void WarnIfOnlyTpm(const std::vector<SealedKey>& keys, const std::string& output) {
  if (keys.size() == 1 && keys[0].kind() == SealedKeyKind::kTpm) {
    std::fprintf(stderr,
                 "vantry: warning: %s will open only through this machine's TPM: a cleared or "
                 "replaced TPM%s loses it; add a recovery key beside --tpm (--ask-key, "
                 "--key-file, --key-hex-file or --recipient) and keep it elsewhere\n",
                 OperandName(output).c_str(),
                 keys[0].pcrs() != 0 ? ", or a change of its PCRs," : "");
  }
}

}  // namespace vantry::tool
