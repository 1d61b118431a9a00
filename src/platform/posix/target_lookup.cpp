#include "platform/posix/target_lookup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace vantry::platform::posix {
namespace {

// As many links as the kernel follows in one lookup.
constexpr int kMaxLinkHops = 40;

// O_NONBLOCK: a FIFO that slipped in after the examination must not leave us waiting for a
// reader. Nothing is ever read through the target's descriptor, so the flag does no harm.
constexpr int kTargetFlags = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;

std::string ReadLinkAt(int folder, const std::string& name, int* error) {
  std::vector<char> text(256);
  for (;;) {
    const ssize_t n = ::readlinkat(folder, name.c_str(), text.data(), text.size());
    if (n < 0) {
      *error = errno;
      return {};
    }
    if (static_cast<std::size_t>(n) < text.size()) {
      *error = 0;
      return std::string(text.data(), static_cast<std::size_t>(n));
    }
    text.resize(text.size() * 2);
  }
}

// What one look at the current name found.
enum class Next { kDone, kAgain };

// Moves found to where the link entry points, if the link may be followed. kAgain also when
// the link changed under us, to examine the name again.
Next FollowLink(const struct stat& folderInfo, const struct stat& entry, FoundTarget* found) {
  if (!TrustedIn(folderInfo, entry)) {
    found->error = EACCES;
    return Next::kDone;
  }
  const int folder = found->folder.get();
  int error = 0;
  const std::string text = ReadLinkAt(folder, found->base, &error);
  if (error != 0) {
    found->error = error;
    return Next::kDone;
  }
  // The link read must be the link judged. In a sticky folder nobody but its owner or the
  // folder's owner can swap it; elsewhere the owner is not what decides.
  struct stat again {};
  if (::fstatat(folder, found->base.c_str(), &again, AT_SYMLINK_NOFOLLOW) != 0 ||
      !SameFile(entry, again)) {
    return Next::kAgain;
  }
  std::string linkFolder;
  std::string linkBase;
  SplitPath(text, &linkFolder, &linkBase);
  const int next = OpenFolder(text[0] == '/' ? AT_FDCWD : folder, linkFolder);
  if (next < 0) {
    found->error = errno;
    return Next::kDone;
  }
  found->folder.reset(next);
  found->folderPath = text[0] == '/' ? linkFolder : JoinPath(found->folderPath, linkFolder);
  found->base = linkBase;
  return Next::kAgain;
}

// Opens the regular file examined at the name and judges what was opened. kAgain when it was
// replaced by a link (ELOOP) or removed since it was examined.
Next OpenRegularTarget(const struct stat& folderInfo, FoundTarget* found) {
  const int fd = RetryOnInterrupt(
      [&] { return ::openat(found->folder.get(), found->base.c_str(), kTargetFlags); });
  if (fd < 0) {
    if (errno == ELOOP || errno == ENOENT) {
      return Next::kAgain;
    }
    found->error = errno;
    return Next::kDone;
  }
  found->file.reset(fd);
  struct stat opened {};
  if (::fstat(fd, &opened) != 0) {
    found->error = errno;
  } else if (!S_ISREG(opened.st_mode)) {
    found->error = EINVAL;
  } else if (!TrustedIn(folderInfo, opened) ||
             (IsSharedStickyFolder(folderInfo) && opened.st_nlink > 1)) {
    // A second name in such a folder may be a link someone made to a file elsewhere (where
    // fs.protected_hardlinks is off): its owner and mode, which the replacement would take
    // over, are not the ones meant for this name.
    found->error = EACCES;
  }
  return Next::kDone;
}

// One look at the current name: absent, a link, a regular file or something refused.
Next Examine(FileSystem& fileSystem, FoundTarget* found) {
  const std::string& base = found->base;
  if (base.empty() || base == "." || base == "..") {
    found->error = EISDIR;
    return Next::kDone;
  }
  const int folder = found->folder.get();
  struct stat folderInfo {};
  struct stat entry {};
  if (::fstat(folder, &folderInfo) != 0) {
    found->error = errno;
    return Next::kDone;
  }
  if (::fstatat(folder, base.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
    // A new target: the rename will create it, and replaces whatever someone puts at the name
    // meanwhile (a link too) instead of writing through it.
    if (errno != ENOENT) {
      found->error = errno;
    } else {
      fileSystem.Reached(WriterStep::kTargetExamined);
    }
    return Next::kDone;
  }
  if (S_ISLNK(entry.st_mode)) {
    return FollowLink(folderInfo, entry, found);
  }
  // Anything but a regular file is refused before it is opened: opening a device can act on
  // it, and a rename would replace the node itself (think /dev/null as root).
  if (!S_ISREG(entry.st_mode)) {
    found->error = S_ISDIR(entry.st_mode) ? EISDIR : EINVAL;
    return Next::kDone;
  }
  fileSystem.Reached(WriterStep::kTargetExamined);
  return OpenRegularTarget(folderInfo, found);
}

}  // namespace

void SplitPath(const std::string& path, std::string* folder, std::string* base) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder->clear();
    *base = path;
  } else {
    *folder = slash == 0 ? "/" : path.substr(0, slash);
    *base = path.substr(slash + 1);
  }
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) {
    return name;
  }
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool SameFile(const struct stat& a, const struct stat& b) noexcept {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void FindTarget(const std::string& targetName, FileSystem& fileSystem, FoundTarget* found) {
  std::string folderPath;
  SplitPath(targetName, &folderPath, &found->base);
  if (targetName.empty()) {
    found->error = ENOENT;
    return;
  }
  found->folder.reset(OpenFolder(AT_FDCWD, folderPath));
  if (found->folder.get() < 0) {
    found->error = errno;
    return;
  }
  found->folderPath = folderPath;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    if (Examine(fileSystem, found) == Next::kDone) {
      return;
    }
  }
  found->error = ELOOP;
}

}  // namespace vantry::platform::posix
