// The account's and the machine's sealing secrets: 32 random bytes in a file that only its
// owner can read. On POSIX the account's lives in $XDG_DATA_HOME/vantry/ (else
// ~/.local/share/vantry/), the machine's in /var/lib/vantry/, owned by root.
//
// A secret file is created on first use by the atomic writer (file.h) as plain text that keeps
// an existing file: the bytes are written and flushed to a temporary readable by its owner
// alone, which takes the final name only if no file has it. Of two processes racing to create
// the secret, one publishes it and the other reads what the winner published: no process ever
// sees a partly written or replaced secret.
//
// The file's modification time is the secret's creation time: nothing writes a secret file
// once it is published, and a secret restored from a backup gets its first time back. A secret
// that was replaced by another is kept beside it under its identifier (KeptSecretPath), so that
// the files sealed with it still open.
#ifndef VANTRY_PLATFORM_SECRET_FILE_H_
#define VANTRY_PLATFORM_SECRET_FILE_H_

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/file_system.h"

namespace vantry::platform {

inline constexpr std::size_t kSecretSize = 32;

enum class SecretScope { kAccount, kMachine };

// False where secret files are not used (Windows, whose data protection API keeps these keys).
bool SecretFilesUsed() noexcept;

// The command that restores a backup of the scope's secret, quoted, for messages.
std::string SecretImportCommand(SecretScope scope);

// Where the scope's secret file is. Throws SecretFileError when no home folder is known.
std::string SecretFilePath(SecretScope scope);

// A secret file that exists but cannot be trusted (not a regular file of the expected size,
// owned by another user, or readable by others), or a machine secret that only root may create.
class SecretFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the secret of path with identifier idHex is kept once another replaced it.
std::string KeptSecretPath(const std::string& path, const std::string& idHex);

// What ReadSecretFile found besides the secret: whether this call published it, and its
// creation time in seconds since 1970.
struct SecretFileFacts {
  bool created = false;
  std::int64_t time = 0;
};

// Reads the secret at path into out and returns true. When the file does not exist: returns
// false if create is false, else creates it (and its missing folders, 0700) as described above
// and returns the published secret, writing through fileSystem (the system's when null).
// Throws FileError for system failures and SecretFileError as above; its message names the
// file's type, size, mode or owner, what they must be and how to mend or restore the file.
bool ReadSecretFile(const std::string& path, bool create, unsigned char out[kSecretSize],
                    FileSystem* fileSystem = nullptr, SecretFileFacts* facts = nullptr);

// Publishes secret at path, created at time, through the writer of the creation above: as a
// new file (false, and nothing written, when a file has the name by the time it would
// appear), or with replace over the secret there (which the caller has kept elsewhere).
// Throws FileError and SecretFileError as ReadSecretFile does.
bool WriteSecretFile(const std::string& path, const unsigned char secret[kSecretSize],
                     std::int64_t time, bool replace, FileSystem* fileSystem = nullptr);

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_SECRET_FILE_H_
