// Windows keeps no secret file: an account's or machine's key there is the data protection
// API's business (a key kind of its own, not in this version), so these refuse.
#include "platform/secret_file.h"

namespace vantry::platform {

bool SecretFilesUsed() noexcept { return false; }

std::string SecretFilePath(SecretScope) {
  throw SecretFileError(
      "the account and machine secrets of sealed files are not available on Windows; use a "
      "passphrase or a raw key");
}

bool ReadSecretFile(const std::string& path, bool, unsigned char*, FileSystem*, SecretFileFacts*) {
  throw SecretFileError("no secret file on Windows: " + path);
}

bool WriteSecretFile(const std::string& path, const unsigned char*, std::int64_t, bool,
                     FileSystem*) {
  throw SecretFileError("no secret file on Windows: " + path);
}

}  // namespace vantry::platform
