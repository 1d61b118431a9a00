// The account's and the machine's sealing secrets: 32 random bytes in a file that only its
// owner can read. On POSIX the account's lives in $XDG_DATA_HOME/vantry/ (else
// ~/.local/share/vantry/), the machine's in /var/lib/vantry/, owned by root.
//
// A secret file is created on first use by the atomic writer (file.h) as plain text that keeps
// an existing file: the bytes are written and flushed to a temporary readable by its owner
// alone, which takes the final name only if no file has it. Of two processes racing to create
// the secret, one publishes it and the other reads what the winner published: no process ever
// sees a partly written or replaced secret.
#ifndef VANTRY_PLATFORM_SECRET_FILE_H_
#define VANTRY_PLATFORM_SECRET_FILE_H_

#include <cstddef>
#include <stdexcept>
#include <string>

#include "platform/file_system.h"

namespace vantry::platform {

inline constexpr std::size_t kSecretSize = 32;

enum class SecretScope { kAccount, kMachine };

// Where the scope's secret file is. Throws SecretFileError when no home folder is known.
std::string SecretFilePath(SecretScope scope);

// A secret file that exists but cannot be trusted (not a regular file of the expected size,
// owned by another user, or readable by others), or a machine secret that only root may create.
class SecretFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the secret at path into out and returns true. When the file does not exist: returns
// false if create is false, else creates it (and its missing folders, 0700) as described above
// and returns the published secret, writing through fileSystem (the system's when null).
// Throws FileError for system failures and SecretFileError as above.
bool ReadSecretFile(const std::string& path, bool create, unsigned char out[kSecretSize],
                    FileSystem* fileSystem = nullptr);

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_SECRET_FILE_H_
