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

bool IsMachinePath(const std::string& path) { return path.rfind("/var/lib/", 0) == 0; }

// What the user does about a secret file that cannot be trusted or used.
std::string Restore(const std::string& path) {
  return "move it away and restore the secret with " +
         SecretImportCommand(IsMachinePath(path) ? SecretScope::kMachine : SecretScope::kAccount);
}

std::string TypeText(const struct stat& st) {
  if (S_ISREG(st.st_mode)) {
    return "a " + std::to_string(st.st_size) + "-byte file";
  }
  return S_ISDIR(st.st_mode)    ? "a folder"
         : S_ISFIFO(st.st_mode) ? "a FIFO"
         : S_ISSOCK(st.st_mode) ? "a socket"
         : S_ISLNK(st.st_mode)  ? "a symbolic link"
                                : "a device";
}

[[noreturn]] void NotASecretFile(const std::string& path, const struct stat& st) {
  throw SecretFileError("the secret file " + path + " is " + TypeText(st) +
                        ", not a 32-byte regular file: " + Restore(path));
}

// False when path does not exist; throws when it exists but is not a secret to trust.
bool ReadExisting(const std::string& path, unsigned char out[kSecretSize], SecretFileFacts* facts) {
  // Not blocking: a FIFO planted under the name is refused, not waited on.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (fd.get() < 0) {
    const int error = errno;
    if (error == ENOENT) {
      return false;
    }
    if ((error == ELOOP || error == ENXIO) && ::lstat(path.c_str(), &st) == 0) {
      NotASecretFile(path, st);
    }
    ThrowFileError(FileError::Cause::kOpen, path, error);
  }
  if (::fstat(fd.get(), &st) != 0) {
    ThrowFileError(FileError::Cause::kSize, path, errno);
  }
  if (!S_ISREG(st.st_mode) || st.st_size != static_cast<off_t>(kSecretSize)) {
    NotASecretFile(path, st);
  }
  if (st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
    throw SecretFileError(
        "the secret file " + path + " has mode " + posix::ModeText(st.st_mode) + " and owner " +
        posix::UserText(st.st_uid) + "; it must have mode 0600 and owner " +
        posix::UserText(::geteuid()) + ": " +
        (st.st_uid == ::geteuid() ? "run 'chmod 600 " + path + "', or " : "") + Restore(path));
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
  if (facts != nullptr) {
    facts->time = static_cast<std::int64_t>(st.st_mtime);
  }
  return true;
}

// Writes secret under path, as a new file unless replace; false when a file took the name
// first (the caller then reads whichever secret won).
bool Publish(const std::string& path, const unsigned char secret[kSecretSize], bool replace,
             FileSystem* fileSystem) {
  try {
    AtomicWriter writer(path,
                        WriterOptions{OutputContents::kPlainText, false, !replace, fileSystem});
    writer.Write(secret, kSecretSize);
    writer.Commit();
    return true;
  } catch (const FileError& error) {
    if (replace || error.code() != std::error_code(EEXIST, std::system_category())) {
      throw;
    }
    return false;
  }
}

// Gives the published secret its creation time; the file is opened as it is read, never
// through a link.
void SetTime(const std::string& path, std::int64_t time) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct timespec times[2] = {};
  times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(time);
  if (fd.get() < 0 || ::futimens(fd.get(), times) != 0) {
    ThrowFileError(FileError::Cause::kWrite, path, errno);
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

// Only root makes the machine's secret: another user's would be hers, not the machine's.
void RequireWriter(const std::string& path, const char* refusal) {
  if (IsMachinePath(path) && ::geteuid() != 0) {
    throw SecretFileError("the machine secret " + path + refusal);
  }
}

}  // namespace

bool SecretFilesUsed() noexcept { return true; }

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
                    FileSystem* fileSystem, SecretFileFacts* facts) {
  const std::string folder = Parent(path);
  if (JudgeFolders(folder, path) && ReadExisting(path, out, facts)) {
    return true;
  }
  if (!create) {
    return false;
  }
  RequireWriter(path, " does not exist yet; root creates it on first use");
  MakeFolders(folder);
  SecretArray<kSecretSize> secret;
  sealing::RandomBytes(secret.bytes, kSecretSize);
  const bool published = Publish(path, secret.bytes, false, fileSystem);
  if (!ReadExisting(path, out, facts)) {
    ThrowFileError(FileError::Cause::kOpen, path, ENOENT);
  }
  if (facts != nullptr) {
    facts->created = published;
  }
  return true;
}

bool WriteSecretFile(const std::string& path, const unsigned char secret[kSecretSize],
                     std::int64_t time, bool replace, FileSystem* fileSystem) {
  const std::string folder = Parent(path);
  JudgeFolders(folder, path);
  RequireWriter(path, " is root's to write; run this as root");
  MakeFolders(folder);
  if (!Publish(path, secret, replace, fileSystem)) {
    return false;
  }
  SetTime(path, time);
  return true;
}

}  // namespace vantry::platform
