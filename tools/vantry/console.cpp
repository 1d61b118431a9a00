#include "console.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "secret.h"
#include "vantry/file_error.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#endif

namespace vantry::tool {
namespace {

// read(2) need not take counts above SSIZE_MAX; ReadFile takes a 32-bit count.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

[[noreturn]] void ThrowFileError(FileError::Cause cause, const std::string& name, int error) {
  throw FileError(cause, name, std::error_code(error, std::system_category()));
}

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void RecordStopSignal(int signal) {
  if (g_stopSignal == 0) {
    g_stopSignal = signal;
  }
}

[[noreturn]] void ThrowInterrupted() {
  throw std::runtime_error("interrupted by " + SignalName(StopSignal()));
}

[[noreturn]] void ThrowTooLong(std::size_t maxLength) {
  throw std::runtime_error("the key typed is longer than " + std::to_string(maxLength) +
                           " characters");
}

}  // namespace

int StopSignal() { return static_cast<int>(g_stopSignal); }

std::string SignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
#ifndef _WIN32
    case SIGHUP:
      return "SIGHUP";
    case SIGQUIT:
      return "SIGQUIT";
#endif
    default:
      return "signal " + std::to_string(signal);
  }
}

#ifdef _WIN32

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

// Windows writes no core files; a crash report is up to Windows Error Reporting.
bool DisableCoreDumps() { return true; }

void CatchStopSignals() {
  std::signal(SIGINT, RecordStopSignal);
  std::signal(SIGTERM, RecordStopSignal);
}

void EndByStopSignal(int signal) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(128 + signal);
}

// Windows has no SIGPIPE: a failed run without a message.
void EndByClosedOutput() {
  std::fflush(stderr);
  std::_Exit(1);
}

bool IsStreamInput(const std::string&) { return false; }

namespace {

std::wstring WideName(const std::string& name) {
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(),
                                    static_cast<int>(name.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), static_cast<int>(name.size()),
                        &wide[0], n);
  }
  return wide;
}

class UnlockedReader final : public ByteReader {
 public:
  UnlockedReader(HANDLE file, const std::string& name) : m_file(file), m_name(name) {}
  ~UnlockedReader() override { CloseHandle(m_file); }
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    DWORD got = 0;
    if (!ReadFile(m_file, buffer, static_cast<DWORD>(std::min(n, kMaxTransfer)), &got, nullptr)) {
      const DWORD error = GetLastError();
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
        return 0;
      }
      ThrowFileError(FileError::Cause::kRead, m_name, static_cast<int>(error));
    }
    if (StopSignal() != 0) {
      ThrowInterrupted();
    }
    return got;
  }

 private:
  HANDLE m_file;
  std::string m_name;
};

}  // namespace

std::unique_ptr<ByteReader> OpenUnlockedInput(const std::string& name) {
  const std::wstring wide = WideName(name);
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ThrowFileError(FileError::Cause::kOpen, name, static_cast<int>(GetLastError()));
  }
  return std::make_unique<UnlockedReader>(file, name);
}

// The Windows writer has no in-place fallback.
bool FolderTakesNewFiles(const std::string&) { return true; }

std::string ReadHiddenLine(const std::string& prompt, std::size_t maxLength) {
  HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD mode = 0;
  if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE || !GetConsoleMode(in, &mode)) {
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    throw NoTerminal();
  }
  DWORD written = 0;
  WriteConsoleA(out, prompt.data(), static_cast<DWORD>(prompt.size()), &written, nullptr);
  SetConsoleMode(in, (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::string line;
  line.reserve(maxLength);
  char c = 0;
  DWORD read = 0;
  bool tooLong = false;
  while (ReadConsoleA(in, &c, 1, &read, nullptr) && read == 1 && c != '\n' && StopSignal() == 0) {
    if (c != '\r') {
      if (line.size() == maxLength) {
        tooLong = true;
      } else {
        line += c;
      }
    }
  }
  c = 0;
  SetConsoleMode(in, mode);
  WriteConsoleA(out, "\r\n", 2, &written, nullptr);
  CloseHandle(in);
  CloseHandle(out);
  if (StopSignal() != 0 || tooLong) {
    WipeString(line);
    if (tooLong) {
      ThrowTooLong(maxLength);
    }
    ThrowInterrupted();
  }
  return line;
}

#else

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

bool DisableCoreDumps() {
  bool done = true;
  const rlimit none{0, 0};
  if (setrlimit(RLIMIT_CORE, &none) != 0) {
    done = false;
  }
#ifdef __linux__
  // Also keeps other processes of the same user from reading this one's memory through
  // /proc/PID/mem or ptrace.
  if (prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) {
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
    // A signal ignored by whoever started the tool (nohup, a background job) stays ignored.
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      continue;
    }
    sigaction(signal, &stop, nullptr);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

void EndByStopSignal(int signal) {
  std::fflush(stdout);
  std::fflush(stderr);
  if (signal != SIGQUIT) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    raise(signal);
  }
  _exit(128 + signal);
}

void EndByClosedOutput() { EndByStopSignal(SIGPIPE); }

bool IsStreamInput(const std::string& name) {
  struct stat info {};
  return stat(name.c_str(), &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode));
}

namespace {

class UnlockedReader final : public ByteReader {
 public:
  UnlockedReader(int fd, const std::string& name) : m_fd(fd), m_name(name) {}
  ~UnlockedReader() override { close(m_fd); }
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    if (n == 0) {
      return 0;
    }
    for (;;) {
      if (StopSignal() != 0) {
        ThrowInterrupted();
      }
      const ssize_t got = read(m_fd, buffer, std::min(n, kMaxTransfer));
      if (got >= 0) {
        return static_cast<std::size_t>(got);
      }
      // Interrupted: a stop signal ends the read above; any other signal is no reason to fail.
      if (errno != EINTR) {
        ThrowFileError(FileError::Cause::kRead, m_name, errno);
      }
    }
  }

 private:
  int m_fd;
  std::string m_name;
};

}  // namespace

std::unique_ptr<ByteReader> OpenUnlockedInput(const std::string& name) {
  int fd = -1;
  // Blocking: a FIFO opens once its writer has come, or a stop signal ends the wait.
  for (;;) {
    if (StopSignal() != 0) {
      ThrowInterrupted();
    }
    fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0 || errno != EINTR) {
      break;
    }
  }
  if (fd < 0) {
    ThrowFileError(FileError::Cause::kOpen, name, errno);
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
    close(fd);
    ThrowFileError(FileError::Cause::kOpen, name, error);
  }
  return std::make_unique<UnlockedReader>(fd, name);
}

bool FolderTakesNewFiles(const std::string& name) {
  const auto slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : name.substr(0, slash);
  return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string ReadHiddenLine(const std::string& prompt, std::size_t maxLength) {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    throw NoTerminal();
  }
  termios saved{};
  if (tcgetattr(fd, &saved) != 0) {
    close(fd);
    throw NoTerminal();
  }
  termios quiet = saved;
  quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
  quiet.c_lflag |= ECHONL;
  tcsetattr(fd, TCSAFLUSH, &quiet);
  ssize_t ignored = write(fd, prompt.data(), prompt.size());
  std::string line;
  line.reserve(maxLength);  // never reallocated: no unwiped copies of a partial key
  char c = 0;
  bool tooLong = false;
  // A stop signal makes read fail with EINTR; the terminal is restored below either way.
  while (StopSignal() == 0 && read(fd, &c, 1) == 1 && c != '\n') {
    if (line.size() == maxLength) {
      tooLong = true;
    } else {
      line += c;
    }
  }
  c = 0;
  tcsetattr(fd, TCSAFLUSH, &saved);
  if (StopSignal() != 0) {
    ignored = write(fd, "\n", 1);
  }
  close(fd);
  (void)ignored;
  if (StopSignal() != 0 || tooLong) {
    WipeString(line);
    if (tooLong) {
      ThrowTooLong(maxLength);
    }
    ThrowInterrupted();
  }
  return line;
}

#endif

}  // namespace vantry::tool
