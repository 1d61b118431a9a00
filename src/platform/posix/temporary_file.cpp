#include "platform/posix/temporary_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "platform/posix/descriptor.h"
#include "platform/posix/target_lookup.h"

namespace vantry::platform::posix {
namespace {

// The temporary name adds 25 bytes to the target's; a long target name is shortened in it so
// the temporary name stays within NAME_MAX (255 on every file system we meet).
constexpr std::size_t kMaxBaseInTempName = 200;
constexpr char kTempMarker[] = ".vantry-";
// Long enough that no name a person gives a file (".notes.vantry-backup") matches by chance,
// and that guessing the next name is hopeless.
constexpr std::size_t kTempRandomLength = 16;
constexpr char kTempAlphabet[] = "0123456789abcdef";

bool IsTempNameOf(const std::string& entry, const std::string& prefix) {
  if (entry.size() != prefix.size() + kTempRandomLength ||
      entry.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  for (std::size_t i = prefix.size(); i < entry.size(); ++i) {
    if (std::strchr(kTempAlphabet, entry[i]) == nullptr || entry[i] == '\0') {
      return false;
    }
  }
  return true;
}

// Removes the temporary name if it is an abandoned one: the kernel drops a writer's lock when
// the process dies, so a temporary that can be locked belongs to no live writer.
void RemoveIfAbandoned(int folder, const std::string& name) {
  Descriptor fd(RetryOnInterrupt([&] {
    return ::openat(folder, name.c_str(),
                    O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  }));
  struct stat held {};
  struct stat still {};
  if (fd.get() >= 0 && ::fstat(fd.get(), &held) == 0 && S_ISREG(held.st_mode) &&
      held.st_uid == ::geteuid() && held.st_nlink == 1 && TryLockExclusive(fd.get()) &&
      ::fstatat(folder, name.c_str(), &still, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(held, still)) {
    ::unlinkat(folder, name.c_str(), 0);
  }
}

bool IsLeftToTheSystem(const char* name) {
  return std::strncmp(name, "system.", 7) != 0 && std::strncmp(name, "user.", 5) != 0;
}

// Reads an attribute list or value whose size may change between the asking and the reading.
template <class Call>
ssize_t ReadGrowing(std::vector<char>* buffer, Call call) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const ssize_t needed = call(nullptr, 0);
    if (needed <= 0) {
      return needed;
    }
    buffer->resize(static_cast<std::size_t>(needed));
    const ssize_t got = call(buffer->data(), buffer->size());
    if (got >= 0 || errno != ERANGE) {
      return got;
    }
  }
  errno = ERANGE;
  return -1;
}

// Copies one attribute; returns 0 or the error. Sets *isAccessAcl for the access ACL.
int CopyAttribute(int from, int to, const char* name, std::vector<char>* value, bool* isAccessAcl) {
  const ssize_t size = ReadGrowing(
      value, [from, name](char* v, std::size_t n) { return ::fgetxattr(from, name, v, n); });
  if (size < 0) {
    return errno == ENODATA ? 0 : errno;  // ENODATA: removed meanwhile
  }
  if (std::strcmp(name, "system.posix_acl_access") == 0) {
    *isAccessAcl = true;
  }
  if (::fsetxattr(to, name, value->data(), static_cast<std::size_t>(size), 0) != 0) {
    if ((errno == EPERM || errno == ENOTSUP || errno == EACCES) && IsLeftToTheSystem(name)) {
      return 0;
    }
    return errno;
  }
  return 0;
}

// Gives the temporary the replaced file's extended attributes, its access ACL among them: on a
// file with an ACL the group mode bits are only the ACL's mask, so dropping the ACL would widen
// or narrow access behind the owner's back. Attributes of the security and trusted namespaces
// that the system refuses to set (EPERM, ENOTSUP) are left to it; any other failure is an error.
int CopyExtendedAttributes(int from, int to) {
  std::vector<char> names;
  const ssize_t listed = ReadGrowing(
      &names, [from](char* list, std::size_t size) { return ::flistxattr(from, list, size); });
  if (listed < 0) {
    return errno == ENOTSUP ? 0 : errno;
  }
  bool hasAccessAcl = false;
  std::vector<char> value;
  for (std::size_t at = 0; at < static_cast<std::size_t>(listed);) {
    const char* name = names.data() + at;
    at += std::strlen(name) + 1;
    if (const int error = CopyAttribute(from, to, name, &value, &hasAccessAcl)) {
      return error;
    }
  }
  // A default ACL of the folder gave the temporary an ACL that the replaced file did not have.
  if (!hasAccessAcl && ::fremovexattr(to, "system.posix_acl_access") != 0 && errno != ENODATA &&
      errno != ENOTSUP) {
    return errno;
  }
  return 0;
}

}  // namespace

std::string TempPrefixFor(const std::string& base) {
  std::string shortened =
      base.size() > kMaxBaseInTempName ? base.substr(0, kMaxBaseInTempName) : base;
  // A leading dot keeps the unfinished file out of plain directory listings.
  return "." + shortened + kTempMarker;
}

std::string RandomSuffix() {
  std::uint64_t bits = 0;
  try {
    std::random_device device;
    bits = (std::uint64_t{device()} << 32) ^ device();
  } catch (...) {  // no entropy source: the exclusive create still keeps names apart
    static std::uint64_t counter = 0;
    bits = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
           (std::uint64_t{static_cast<std::uint32_t>(::getpid())} << 40) ^ ++counter;
  }
  std::string suffix(kTempRandomLength, '0');
  for (auto& c : suffix) {
    c = kTempAlphabet[bits & 15];
    bits >>= 4;
  }
  return suffix;
}

std::string UnnamedPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

int OpenUnnamedTemp(int folder, mode_t mode) {
#ifdef O_TMPFILE
  if (::access("/proc/self/fd", X_OK) != 0) {
    return -1;
  }
  const int fd = RetryOnInterrupt(
      [&] { return ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC | O_NOCTTY, mode); });
  if (fd >= 0 && !TryLockExclusive(fd)) {
    ::close(fd);
    return -1;
  }
  return fd;
#else
  (void)folder;
  (void)mode;
  return -1;
#endif
}

int CreateNamedTemp(int folder, const std::string& prefix, mode_t mode, std::string* name) {
  // Between creating its temporary and locking it, a writer can lose it to another writer's
  // sweep of abandoned temporaries; it then simply makes another.
  for (int attempt = 0; attempt < kMaxTempAttempts; ++attempt) {
    // Named (and the name held by the caller, to remove it) before the file exists.
    *name = prefix + RandomSuffix();
    const int temp = RetryOnInterrupt([&] {
      return ::openat(folder, name->c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
    });
    if (temp < 0) {
      if (errno == EEXIST) {
        continue;
      }
      name->clear();
      return -1;
    }
    struct stat held {};
    struct stat named {};
    if (TryLockExclusive(temp) && ::fstat(temp, &held) == 0 &&
        ::fstatat(folder, name->c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameFile(held, named)) {
      return temp;
    }
    ::close(temp);
  }
  name->clear();
  errno = EEXIST;
  return -1;
}

// The temporary of a writer that was killed stays behind; the next writer of the same target
// removes it. Anything that merely resembles a temporary stays.
void RemoveAbandonedTemps(int folder, const std::string& prefix, int ownTemp) {
  const int listing = OpenFolder(folder, ".");
  if (listing < 0) {
    return;
  }
  // Owned, so that a failure inside the loop (a name that cannot be copied) closes it too.
  const std::unique_ptr<DIR, int (*)(DIR*)> entries(::fdopendir(listing), &::closedir);
  if (entries == nullptr) {
    ::close(listing);
    return;
  }
  struct stat own {};
  (void)::fstat(ownTemp, &own);
  while (const dirent* entry = ::readdir(entries.get())) {
    const std::string name = entry->d_name;
    struct stat named {};
    if (IsTempNameOf(name, prefix) &&
        ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(named.st_mode) && !SameFile(named, own)) {
      RemoveIfAbandoned(folder, name);
    }
  }
}

int TakeModeAndAttributes(int target, int temp, unsigned mode) {
  if (::fchmod(temp, mode) != 0) {
    return errno;
  }
  return CopyExtendedAttributes(target, temp);
}

void EmptyQuietly(int fd) noexcept {
  if (::ftruncate(fd, 0) != 0) {
    return;
  }
}

}  // namespace vantry::platform::posix
