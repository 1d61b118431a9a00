#include "platform/trusted_path.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdio>
#include <deque>
#include <vector>

#include "platform/posix/descriptor.h"

namespace vantry::platform {
namespace {

using posix::ModeText;
using posix::RetryOnInterrupt;
using posix::ThrowFileError;
using posix::UserEntry;
using posix::UserText;
using Cause = FileError::Cause;

// As many links as Linux follows in one lookup before it gives up with ELOOP.
constexpr int kMaxLinks = 40;

// A name in quotes, control characters escaped: a planted name cannot fake a message line.
std::string Quoted(const std::string& name) {
  std::string text = "'";
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      text += escaped;
    } else {
      text += c;
    }
  }
  return text + "'";
}

bool OwnedByUserOrRoot(const struct stat& info) {
  return info.st_uid == ::geteuid() || info.st_uid == 0;
}

// Why a folder lets another user replace what it holds; empty when it does not.
std::string FolderFault(const struct stat& info, const std::string& path) {
  if (!OwnedByUserOrRoot(info)) {
    return "the folder " + Quoted(path) + " belongs to " + UserText(info.st_uid) +
           ", who can replace what it holds; keep it in a folder of your own";
  }
  // In a sticky folder others cannot remove or rename what they do not own.
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0) {
    return "the folder " + Quoted(path) + " (mode " + ModeText(info.st_mode) +
           ") lets others replace what it holds; run chmod go-w " + Quoted(path) +
           " or keep it in a folder of your own";
  }
  return {};
}

// Why the file itself cannot be trusted; empty when it can.
std::string FileFault(const struct stat& info, const std::string& path, Exposure exposure) {
  if (!OwnedByUserOrRoot(info)) {
    return "it belongs to " + UserText(info.st_uid) +
           ", not to you or root; use a file of your own";
  }
  // A device's content is the kernel's, whatever its mode says about writing to it.
  if (!S_ISCHR(info.st_mode) && (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return "its mode " + ModeText(info.st_mode) + " lets others change it; run chmod go-w " +
           Quoted(path);
  }
  if (exposure == Exposure::kOwnerOnly && (info.st_mode & 077) != 0) {
    return "its mode " + ModeText(info.st_mode) + " lets others read it; run chmod go-rwx " +
           Quoted(path);
  }
  return {};
}

// The user's home by the password database, not $HOME: a process run with another user's
// environment must not take that user's home for its own.
bool IsOwnHome(const struct stat& folder) {
  passwd entry{};
  std::vector<char> buffer;
  const passwd* found = UserEntry(::geteuid(), &entry, &buffer);
  struct stat home {};
  return found != nullptr && found->pw_dir[0] == '/' && ::stat(found->pw_dir, &home) == 0 &&
         home.st_dev == folder.st_dev && home.st_ino == folder.st_ino && home.st_uid == ::geteuid();
}

// The kernel's own links to open objects (/proc/self/fd/N, what <(...) and /dev/stdin lead
// to) name no path to walk: "pipe:[1234]". procfs holds nothing another user could plant.
bool InProcessFileSystem(int folder) {
#ifdef __linux__
  constexpr long kProcSuperMagic = 0x9fa0;
  struct statfs info {};
  return ::fstatfs(folder, &info) == 0 && static_cast<long>(info.f_type) == kProcSuperMagic;
#else
  (void)folder;
  return false;
#endif
}

std::deque<std::string> Components(const std::string& path) {
  std::deque<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = path.find('/', start);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    if (end > start && path.compare(start, end - start, ".") != 0) {
      parts.push_back(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return parts;
}

// Opens each component of a path in turn, relative to the folder before it, and records for
// each folder reached the first fault on the way to it.
class TrustWalk {
 public:
  TrustWalk(const std::string& path, std::string head) : m_path(path), m_head(std::move(head)) {}
  ~TrustWalk() {
    for (const Level& level : m_levels) {
      ::close(level.fd);
    }
  }
  TrustWalk(const TrustWalk&) = delete;
  TrustWalk& operator=(const TrustWalk&) = delete;

  // Walks to the end of the path. For a file, returns its descriptor (opened without blocking)
  // with the last component in *last; for a folder, -1 with the folder on top.
  int Run(bool folder, std::string* last, bool* followedLast);

  int TopFolder() const { return m_levels.back().fd; }
  [[noreturn]] void Refuse(const std::string& fault) const {
    throw UntrustedPathError("cannot trust " + m_head + ": " + fault);
  }
  void RequireTrustedWay() const {
    if (!m_levels.back().fault.empty()) {
      Refuse(m_levels.back().fault);
    }
  }

 private:
  struct Level {
    int fd;
    std::string path;
    std::string fault;
  };

  void Start();
  void Descend(int fd, const std::string& name);
  void Up() {
    if (m_levels.size() > 1) {
      ::close(m_levels.back().fd);
      m_levels.pop_back();
    }
  }
  // Refuses a link that another user owns: that user chose where it leads.
  void RequireOwnLink(const std::string& name, const struct stat& link) const;
  // Follows a link of the user's or root's by walking on along what it holds.
  void Follow(const std::string& name, const struct stat& link, std::deque<std::string>* pending);

  std::string m_path;
  std::string m_head;
  std::vector<Level> m_levels;
  int m_links = 0;
};

void TrustWalk::Start() {
  const int root =
      RetryOnInterrupt([] { return ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY); });
  struct stat info {};
  if (root < 0 || ::fstat(root, &info) != 0) {
    const int error = errno;
    if (root >= 0) {
      ::close(root);
    }
    ThrowFileError(Cause::kOpen, m_path, error);
  }
  m_levels.push_back({root, "", FolderFault(info, "/")});
}

void TrustWalk::Descend(int fd, const std::string& name) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    ThrowFileError(Cause::kOpen, m_path, error);
  }
  Level next{fd, m_levels.back().path + "/" + name, m_levels.back().fault};
  // Past the user's own home what lies above it no longer matters, as for ssh.
  if (next.fault.empty() || IsOwnHome(info)) {
    next.fault = FolderFault(info, next.path);
  }
  m_levels.push_back(std::move(next));
}

void TrustWalk::RequireOwnLink(const std::string& name, const struct stat& link) const {
  if (!OwnedByUserOrRoot(link)) {
    Refuse("the link " + Quoted(m_levels.back().path + "/" + name) + " on the way belongs to " +
           UserText(link.st_uid) + ", who chose where it leads; name the file itself");
  }
}

void TrustWalk::Follow(const std::string& name, const struct stat& link,
                       std::deque<std::string>* pending) {
  RequireOwnLink(name, link);
  if (++m_links > kMaxLinks) {
    ThrowFileError(Cause::kOpen, m_path, ELOOP);
  }
  std::vector<char> target(PATH_MAX + 1);
  const ssize_t length = ::readlinkat(TopFolder(), name.c_str(), target.data(), target.size());
  if (length < 0 || static_cast<std::size_t>(length) >= target.size()) {
    ThrowFileError(Cause::kOpen, m_path, length < 0 ? errno : ENAMETOOLONG);
  }
  const std::string text(target.data(), static_cast<std::size_t>(length));
  if (text[0] == '/') {
    while (m_levels.size() > 1) {
      Up();
    }
  }
  std::deque<std::string> parts = Components(text);
  pending->insert(pending->begin(), parts.begin(), parts.end());
}

int TrustWalk::Run(bool folder, std::string* last, bool* followedLast) {
  if (m_path.empty()) {
    ThrowFileError(Cause::kOpen, m_path, ENOENT);
  }
  std::string start = m_path;
  if (start[0] != '/') {
    std::vector<char> cwd(PATH_MAX + 1);
    if (::getcwd(cwd.data(), cwd.size()) == nullptr) {
      ThrowFileError(Cause::kOpen, m_path, errno);
    }
    start = std::string(cwd.data()) + "/" + start;
  }
  Start();
  std::deque<std::string> pending = Components(start);
  *followedLast = false;
  while (!pending.empty()) {
    const std::string name = pending.front();
    pending.pop_front();
    if (name == "..") {
      Up();
      continue;
    }
    const bool file = pending.empty() && !folder;
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | (file ? O_NONBLOCK : O_DIRECTORY);
    int fd =
        RetryOnInterrupt([&] { return ::openat(TopFolder(), name.c_str(), flags | O_NOFOLLOW); });
    struct stat link {};
    if (fd < 0 && (errno == ELOOP || errno == ENOTDIR || errno == EMLINK)) {
      const int error = errno;
      if (::fstatat(TopFolder(), name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 ||
          !S_ISLNK(link.st_mode)) {
        ThrowFileError(Cause::kOpen, m_path, error);
      }
      if (!file || !InProcessFileSystem(TopFolder())) {
        Follow(name, link, &pending);
        continue;
      }
      RequireOwnLink(name, link);
      fd = RetryOnInterrupt([&] { return ::openat(TopFolder(), name.c_str(), flags); });
      *followedLast = true;
    }
    if (fd < 0) {
      ThrowFileError(Cause::kOpen, m_path, errno);
    }
    if (file) {
      *last = name;
      return fd;
    }
    Descend(fd, name);
  }
  if (!folder) {
    ThrowFileError(Cause::kOpen, m_path, EISDIR);
  }
  return -1;
}

// A FIFO was opened without blocking, so that a name nobody writes to could not hang the walk;
// now that it passed, it is opened again to wait for its writer, and must be the same FIFO.
int ReopenBlocking(const TrustWalk& walk, int fd, const struct stat& judged,
                   const std::string& last, bool followed, const std::string& path,
                   const InterruptCheck& interrupted) {
  ::close(fd);
  const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | (followed ? 0 : O_NOFOLLOW);
  for (;;) {
    fd = ::openat(walk.TopFolder(), last.c_str(), flags);
    if (fd >= 0 || errno != EINTR) {
      break;
    }
    if (interrupted) {
      interrupted();
    }
  }
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) {
    const int error = errno;
    if (fd >= 0) {
      ::close(fd);
    }
    ThrowFileError(Cause::kOpen, path, error);
  }
  if (info.st_dev != judged.st_dev || info.st_ino != judged.st_ino) {
    ::close(fd);
    walk.Refuse("it was replaced while it was being opened");
  }
  return fd;
}

}  // namespace

NativeHandle OpenTrustedFile(const std::string& path, const std::string& what, Exposure exposure,
                             const InterruptCheck& interrupted) {
  TrustWalk walk(path, what + " " + Quoted(path));
  std::string last;
  bool followed = false;
  posix::Descriptor fd(walk.Run(false, &last, &followed));
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    ThrowFileError(Cause::kOpen, path, errno);
  }
  if (S_ISDIR(info.st_mode)) {
    ThrowFileError(Cause::kOpen, path, EISDIR);
  }
  const std::string fault = FileFault(info, path, exposure);
  if (!fault.empty()) {
    walk.Refuse(fault);
  }
  walk.RequireTrustedWay();
  if (S_ISFIFO(info.st_mode)) {
    return ReopenBlocking(walk, fd.release(), info, last, followed, path, interrupted);
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags == -1 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) == -1) {
    ThrowFileError(Cause::kOpen, path, errno);
  }
  return fd.release();
}

bool ReadTrustedFile(const std::string& path, const std::string& what, TrustedOwner owner,
                     std::size_t maxSize, std::string* content) {
  TrustWalk walk(path, what + " " + Quoted(path));
  std::string last;
  bool followed = false;
  int opened = -1;
  try {
    opened = walk.Run(false, &last, &followed);
  } catch (const FileError& e) {
    if (e.code() == std::error_code(ENOENT, std::system_category())) {
      return false;
    }
    throw;
  }
  posix::Descriptor fd(opened);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    ThrowFileError(Cause::kOpen, path, errno);
  }
  if (S_ISDIR(info.st_mode)) {
    ThrowFileError(Cause::kOpen, path, EISDIR);
  }
  std::string fault = FileFault(info, path, Exposure::kReadableByOthers);
  if (fault.empty() && owner == TrustedOwner::kRootOnly && info.st_uid != 0) {
    fault = "it belongs to " + UserText(info.st_uid) +
            ", not to root, who keeps it for every user; run chown root " + Quoted(path) +
            " or remove it";
  }
  if (fault.empty() && !S_ISREG(info.st_mode)) {
    fault = "it is not a regular file; make it one";
  }
  if (!fault.empty()) {
    walk.Refuse(fault);
  }
  walk.RequireTrustedWay();
  content->assign(maxSize + 1, '\0');
  std::size_t got = 0;
  while (got < content->size()) {
    const ssize_t n =
        RetryOnInterrupt([&] { return ::read(fd.get(), &(*content)[got], content->size() - got); });
    if (n < 0) {
      ThrowFileError(Cause::kRead, path, errno);
    }
    if (n == 0) {
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  content->resize(got);
  return true;
}

void RequireTrustedFolder(const std::string& folder, const std::string& what) {
  TrustWalk walk(folder, "the folder " + Quoted(folder) + " that holds " + what);
  std::string last;
  bool followed = false;
  walk.Run(true, &last, &followed);
  walk.RequireTrustedWay();
}

}  // namespace vantry::platform
