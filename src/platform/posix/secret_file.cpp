#include "platform/secret_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "platform/file.h"
#include "platform/posix/descriptor.h"
#include "platform/sealing_crypto.h"
#include "platform/secure_wipe.h"
#include "platform/trusted_path.h"
#include "vantry/file_error.h"

namespace vantry::platform {
namespace {

using posix::Descriptor;
using posix::ThrowFileError;

std::string Parent(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Creates path and its missing parents, each new one 0700.
void MakeFolders(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    return;
  }
  if (path != "/") {
    MakeFolders(Parent(path));
  }
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    ThrowFileError(FileError::Cause::kCreate, path, errno);
  }
}

// False when path does not exist; throws when it exists but is not a secret to trust.
bool ReadExisting(const std::string& path, unsigned char out[kSecretSize]) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) {
      return false;
    }
    ThrowFileError(FileError::Cause::kOpen, path, errno);
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    ThrowFileError(FileError::Cause::kSize, path, errno);
  }
  if (!S_ISREG(st.st_mode) || st.st_size != static_cast<off_t>(kSecretSize)) {
    throw SecretFileError("the secret file " + path + " is not a 32-byte regular file");
  }
  if (st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
    throw SecretFileError("the secret file " + path +
                          " is not readable by its owner alone (mode 0600, owner this user)");
  }
  std::size_t got = 0;
  while (got < kSecretSize) {
    const ssize_t n = ::read(fd.get(), out + got, kSecretSize - got);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      SecureWipe(out, kSecretSize);
      ThrowFileError(FileError::Cause::kRead, path, n < 0 ? errno : EIO);
    }
    got += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes a fresh secret under path unless a file has that name by the time it is published;
// the caller then reads whichever secret won.
void PublishNewSecret(const std::string& path, FileSystem* fileSystem) {
  unsigned char secret[kSecretSize];
  sealing::RandomBytes(secret, sizeof secret);
  try {
    AtomicWriter writer(path, WriterOptions{OutputContents::kPlainText, false, true, fileSystem});
    writer.Write(secret, sizeof secret);
    SecureWipe(secret, sizeof secret);
    writer.Commit();
  } catch (const FileError& error) {
    SecureWipe(secret, sizeof secret);
    if (error.code() != std::error_code(EEXIST, std::system_category())) {
      throw;
    }
  } catch (...) {
    SecureWipe(secret, sizeof secret);
    throw;
  }
}

// Whoever can replace the secret's folder, or one above it, can delete or swap the secret, and
// with it every file sealed with it. So the nearest of them that exists is judged before the
// secret is read, or a folder made, in it. True when folder itself exists.
bool JudgeFolders(const std::string& folder, const std::string& path) {
  for (std::string existing = folder;; existing = Parent(existing)) {
    try {
      RequireTrustedFolder(existing, "the secret " + path);
      return existing == folder;
    } catch (const UntrustedPathError& e) {
      throw SecretFileError(e.what());
    } catch (const FileError& e) {
      if (e.code() != std::error_code(ENOENT, std::system_category()) || existing == "/") {
        throw;
      }
    }
  }
}

}  // namespace

std::string SecretFilePath(SecretScope scope) {
  if (scope == SecretScope::kMachine) {
    return "/var/lib/vantry/machine-secret";
  }
  // A relative XDG_DATA_HOME is not to be trusted as a place for data: it is ignored, as the
  // freedesktop.org base directory rules say.
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') {
    return std::string(data) + "/vantry/account-secret";
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') {
    throw SecretFileError(
        "cannot find the account's secret: neither XDG_DATA_HOME nor HOME is an absolute path");
  }
  // Root run with another user's environment (sudo -E) has her HOME: a link of hers in it
  // would steer this account's secret into a folder she picks.
  struct stat info {};
  if (::stat(home, &info) == 0 && info.st_uid != ::geteuid() && info.st_uid != 0) {
    throw SecretFileError("HOME (" + std::string(home) + ") belongs to user " +
                          std::to_string(info.st_uid) +
                          ", not to this account, whose secret is kept under its own home; run "
                          "with your own HOME (sudo -H) or set XDG_DATA_HOME to a folder of "
                          "your own");
  }
  return std::string(home) + "/.local/share/vantry/account-secret";
}

bool ReadSecretFile(const std::string& path, bool create, unsigned char out[kSecretSize],
                    FileSystem* fileSystem) {
  const std::string folder = Parent(path);
  if (JudgeFolders(folder, path) && ReadExisting(path, out)) {
    return true;
  }
  if (!create) {
    return false;
  }
  if (path.rfind("/var/lib/", 0) == 0 && ::geteuid() != 0) {
    throw SecretFileError("the machine secret " + path +
                          " does not exist yet; root creates it on first use");
  }
  MakeFolders(folder);
  PublishNewSecret(path, fileSystem);
  if (!ReadExisting(path, out)) {
    ThrowFileError(FileError::Cause::kOpen, path, ENOENT);
  }
  return true;
}

}  // namespace vantry::platform
