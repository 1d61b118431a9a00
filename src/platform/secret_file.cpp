// The names and texts of the secret files that every system shares.
#include "platform/secret_file.h"

namespace vantry::platform {

std::string SecretImportCommand(SecretScope scope) {
  return scope == SecretScope::kMachine ? "'vantry secret import --machine-secret FILE'"
                                        : "'vantry secret import FILE'";
}

std::string KeptSecretPath(const std::string& path, const std::string& idHex) {
  return path + "-" + idHex;
}

}  // namespace vantry::platform
