#include "platform/secret_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "platform/posix/descriptor.h"
#include "platform/sealing_crypto.h"
#include "platform/secure_wipe.h"
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

void WriteTemporary(const std::string& temp, const unsigned char secret[kSecretSize]) {
  Descriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.get() < 0) {
    ThrowFileError(FileError::Cause::kCreate, temp, errno);
  }
  std::size_t done = 0;
  while (done < kSecretSize) {
    const ssize_t n = ::write(fd.get(), secret + done, kSecretSize - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      ThrowFileError(FileError::Cause::kWrite, temp, n < 0 ? errno : EIO);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.get()) != 0) {
    ThrowFileError(FileError::Cause::kClose, temp, errno);
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
  return std::string(home) + "/.local/share/vantry/account-secret";
}

bool ReadSecretFile(const std::string& path, bool create, unsigned char out[kSecretSize],
                    const std::function<void()>& beforePublish) {
  if (ReadExisting(path, out)) {
    return true;
  }
  if (!create) {
    return false;
  }
  const std::string folder = Parent(path);
  if (path.rfind("/var/lib/", 0) == 0 && ::geteuid() != 0) {
    throw SecretFileError("the machine secret " + path +
                          " does not exist yet; root creates it on first use");
  }
  MakeFolders(folder);
  unsigned char secret[kSecretSize];
  unsigned char tag[8];
  sealing::RandomBytes(secret, sizeof secret);
  sealing::RandomBytes(tag, sizeof tag);
  static const char kHex[] = "0123456789abcdef";
  std::string temp = path + ".new-";
  for (unsigned char b : tag) {
    temp += kHex[b >> 4];
    temp += kHex[b & 15];
  }
  try {
    WriteTemporary(temp, secret);
    SecureWipe(secret, sizeof secret);
    if (beforePublish) {
      beforePublish();
    }
    // link, not rename: it refuses an existing name, so a secret once published is never
    // replaced, whoever races to create it.
    if (::link(temp.c_str(), path.c_str()) != 0 && errno != EEXIST) {
      ThrowFileError(FileError::Cause::kReplace, path, errno);
    }
    ::unlink(temp.c_str());
  } catch (...) {
    SecureWipe(secret, sizeof secret);
    ::unlink(temp.c_str());
    throw;
  }
  Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) {
    ::fsync(dir.get());
  }
  if (!ReadExisting(path, out)) {
    ThrowFileError(FileError::Cause::kOpen, path, ENOENT);
  }
  return true;
}

}  // namespace vantry::platform
