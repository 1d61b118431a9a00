// The lists are read at every default seal, not once per process: a recipient an administrator
// adds is taken by the next seal of a host that runs for months.
#include "sealed/recovery_recipients.h"

#include <algorithm>
#include <cstdlib>

#include "platform/trusted_path.h"
#include "vantry/sealed.h"

namespace vantry::sealed {
namespace {

using Kind = SealedError::Kind;

constexpr char kAdminList[] = "/etc/vantry/recovery-recipients";
// A list holds a few recipients of some 60 characters each; far more is some other file.
constexpr std::size_t kMaxListSize = 65536;
// Why a seal fails over a list rather than go on without it.
constexpr char kUntilFixed[] =
    "; until then default seals fail rather than leave out its recipients";

std::string& AdminListOverride() {
  static std::string path;
  return path;
}

// A relative XDG_CONFIG_HOME is ignored, as the freedesktop.org base directory rules say; with
// no absolute HOME either, the user keeps no list.
std::string UserList() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') {
    return std::string(config) + "/vantry/recovery-recipients";
  }
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    return std::string(home) + "/.config/vantry/recovery-recipients";
  }
  return {};
}

struct Listed {
  RecoveryRecipient entry;
  SealedKey key;
};

bool Holds(const std::vector<SealedKey>& keys, const SealedKey& key) {
  return std::any_of(keys.begin(), keys.end(), [&](const SealedKey& held) {
    return held.kind() == key.kind() && held.material() == key.material();
  });
}

void ReadList(const std::string& path, platform::TrustedOwner owner, std::vector<Listed>& listed,
              std::vector<SealedKey>& keys) {
  const std::string what = "the recovery recipients list";
  std::string content;
  try {
    if (!platform::ReadTrustedFile(path, what, owner, kMaxListSize, &content)) {
      return;
    }
  } catch (const platform::UntrustedPathError& e) {
    throw SealedError(Kind::kSecretUnavailable, e.what() + std::string(kUntilFixed));
  }
  const std::string name = what + " '" + path + "'";
  if (content.size() > kMaxListSize) {
    throw SealedError(Kind::kSecretUnavailable,
                      name + " is larger than " + std::to_string(kMaxListSize) +
                          " bytes, more than a list of recipients holds" + kUntilFixed);
  }
  for (const KeyFileLine& line : KeyFileLines(content)) {
    try {
      SealedKey key = RecipientFromText(line.text);
      if (!Holds(keys, key)) {
        keys.push_back(key);
        listed.push_back({{line.text, path}, key});
      }
    } catch (const SealedError& e) {
      if (e.kind() != Kind::kInvalidKey) {
        throw;
      }
      throw SealedError(Kind::kSecretUnavailable, "line " + std::to_string(line.number) + " of " +
                                                      name + " is " + e.what() +
                                                      ": correct or remove it" + kUntilFixed);
    }
  }
}

// The recipients of both lists not among keys, each once; keys gains them.
std::vector<Listed> ReadLists(std::vector<SealedKey>& keys) {
  std::vector<Listed> listed;
  const std::string& admin = AdminListOverride();
  ReadList(admin.empty() ? kAdminList : admin, platform::TrustedOwner::kRootOnly, listed, keys);
  const std::string user = UserList();
  if (!user.empty()) {
    ReadList(user, platform::TrustedOwner::kUserOrRoot, listed, keys);
  }
  return listed;
}

// "'/etc/vantry/recovery-recipients' and '/home/a/.config/vantry/recovery-recipients'"
std::string ListsOf(const std::vector<Listed>& listed) {
  const std::string& first = listed.front().entry.list;
  const std::string& last = listed.back().entry.list;
  return "'" + first + (last == first ? "'" : "' and '" + last + "'");
}

}  // namespace

void SetAdminRecoveryListForTesting(const std::string& path) { AdminListOverride() = path; }

}  // namespace vantry::sealed

namespace vantry {

std::vector<RecoveryRecipient> RecoveryRecipients() {
  std::vector<SealedKey> keys;
  std::vector<RecoveryRecipient> recipients;
  for (const sealed::Listed& listed : sealed::ReadLists(keys)) {
    recipients.push_back(listed.entry);
  }
  return recipients;
}

std::vector<SealedKey> WithRecoveryRecipients(const std::vector<SealedKey>& keys,
                                              std::vector<RecoveryRecipient>* added) {
  // Windows's account and machine keys are the data protection API's kinds, and it has no
  // recipients: default seals there add nothing.
  std::vector<SealedKey> all = keys;
  if (std::none_of(keys.begin(), keys.end(), [](const SealedKey& key) {
        return key.kind() == SealedKeyKind::kAccountSecret ||
               key.kind() == SealedKeyKind::kMachineSecret;
      })) {
    return all;
  }
  const std::vector<sealed::Listed> listed = sealed::ReadLists(all);
  if (all.size() > kSealedMaxKeys && !listed.empty()) {
    throw SealedError(SealedError::Kind::kInvalidKey,
                      "a sealed file takes at most " + std::to_string(kSealedMaxKeys) +
                          " keys, not the " + std::to_string(all.size()) + " that the " +
                          std::to_string(keys.size()) + " given and the recovery recipients of " +
                          sealed::ListsOf(listed) + " make; give fewer keys");
  }
  if (added != nullptr) {
    for (const sealed::Listed& one : listed) {
      added->push_back(one.entry);
    }
  }
  return all;
}

}  // namespace vantry
