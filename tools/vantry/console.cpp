#include "console.h"

#include <csignal>
#include <stdexcept>

#include "secret.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#endif

namespace vantry::tool {
namespace {

const char kNoTerminal[] = "cannot ask for the key: there is no terminal";

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

std::string ReadHiddenLine(const std::string& prompt, std::size_t maxLength) {
  HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD mode = 0;
  if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE || !GetConsoleMode(in, &mode)) {
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    throw std::runtime_error(kNoTerminal);
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
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signal, &stop, nullptr);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

std::string ReadHiddenLine(const std::string& prompt, std::size_t maxLength) {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    throw std::runtime_error(kNoTerminal);
  }
  termios saved{};
  if (tcgetattr(fd, &saved) != 0) {
    close(fd);
    throw std::runtime_error(kNoTerminal);
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
