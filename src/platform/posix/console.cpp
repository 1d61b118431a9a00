#include "platform/console.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "platform/posix/descriptor.h"
#include "platform/trusted_path.h"

namespace vantry::platform {
namespace {

// read(2) need not take counts above SSIZE_MAX.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void RecordStopSignal(int signal) {
  if (g_stopSignal == 0) {
    g_stopSignal = signal;
  }
}

// Reads the line up to its end, a stop signal (read then fails with EINTR) or maxLength + 1
// characters.
HiddenLineResult ReadLine(int fd, std::size_t maxLength, std::string* line) {
  char c = 0;
  bool tooLong = false;
  while (StopSignal() == 0 && ::read(fd, &c, 1) == 1 && c != '\n') {
    if (line->size() == maxLength) {
      tooLong = true;
    } else {
      *line += c;
    }
  }
  c = 0;
  if (tooLong) {
    return HiddenLineResult::kTooLong;
  }
  return StopSignal() != 0 ? HiddenLineResult::kStopped : HiddenLineResult::kRead;
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

bool DisableCoreDumps() {
  bool done = true;
  const rlimit none{0, 0};
  if (::setrlimit(RLIMIT_CORE, &none) != 0) {
    done = false;
  }
#ifdef __linux__
  // Also keeps other processes of the same user from reading this one's memory through
  // /proc/PID/mem or ptrace.
  if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) {
    done = false;
  }
#endif
  return done;
}

void CatchStopSignals() {
  struct sigaction stop {};
  stop.sa_handler = RecordStopSignal;
  sigemptyset(&stop.sa_mask);
  stop.sa_flags = 0;  // no SA_RESTART: a blocked read or write returns EINTR
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    // A signal ignored by whoever started the program (nohup, a background job) stays ignored.
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      continue;
    }
    ::sigaction(signal, &stop, nullptr);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
}

int StopSignal() { return static_cast<int>(g_stopSignal); }

void EndByStopSignal(int signal) {
  std::fflush(stdout);
  std::fflush(stderr);
  if (signal != SIGQUIT) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    ::sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    ::raise(signal);
  }
  ::_exit(128 + signal);
}

void EndByClosedOutput() { EndByStopSignal(SIGPIPE); }

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

bool IsStreamInput(const std::string& name) {
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode));
}

bool FolderTakesNewFiles(const std::string& name) {
  const auto slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : name.substr(0, slash);
  return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool IsHeldByAnother(const std::error_code& error) {
  return error == std::errc::resource_unavailable_try_again ||
         error == std::errc::operation_would_block;
}

UnlockedInput::UnlockedInput(const std::string& name, InputRole role) : m_name(name), m_handle(-1) {
  StopIfSignalled();
  if (role == InputRole::kKey) {
    m_handle = OpenTrustedFile(name, "the key file", Exposure::kReadableByOthers, StopIfSignalled);
    return;
  }
  // Blocking: a FIFO opens once its writer has come, or a stop signal ends the wait.
  const int fd =
      posix::OpenWithoutForeignLink(name, O_RDONLY | O_CLOEXEC | O_NOCTTY, StopIfSignalled);
  if (fd < 0) {
    posix::ThrowFileError(FileError::Cause::kOpen, name, errno);
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(fd);
    posix::ThrowFileError(FileError::Cause::kOpen, name, error);
  }
  m_handle = fd;
}

UnlockedInput::~UnlockedInput() { ::close(static_cast<int>(m_handle)); }

std::size_t UnlockedInput::ReadSome(void* buffer, std::size_t n) {
  if (n == 0) {
    return 0;
  }
  for (;;) {
    StopIfSignalled();
    const ssize_t got = ::read(static_cast<int>(m_handle), buffer, std::min(n, kMaxTransfer));
    if (got >= 0) {
      return static_cast<std::size_t>(got);
    }
    // Interrupted: a stop signal ends the read above; any other signal is no reason to fail.
    if (errno != EINTR) {
      posix::ThrowFileError(FileError::Cause::kRead, m_name, errno);
    }
  }
}

HiddenLineResult ReadHiddenLine(const std::string& prompt, std::size_t maxLength,
                                std::string* line) {
  const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return HiddenLineResult::kNoTerminal;
  }
  termios saved{};
  if (::tcgetattr(fd, &saved) != 0) {
    ::close(fd);
    return HiddenLineResult::kNoTerminal;
  }
  termios quiet = saved;
  quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
  quiet.c_lflag |= ECHONL;
  ::tcsetattr(fd, TCSAFLUSH, &quiet);
  ssize_t ignored = ::write(fd, prompt.data(), prompt.size());
  const HiddenLineResult result = ReadLine(fd, maxLength, line);
  ::tcsetattr(fd, TCSAFLUSH, &saved);
  if (StopSignal() != 0) {
    ignored = ::write(fd, "\n", 1);
  }
  ::close(fd);
  (void)ignored;
  return result;
}

}  // namespace vantry::platform
