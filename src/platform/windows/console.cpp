#include "platform/console.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "platform/name_encoding.h"
#include "platform/windows/wide_name.h"
#include "platform/windows/win32.h"

// msvcrt's wide twin of the arguments it gave main (startupInfo: its _startupinfo, one int).
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment,
                                      int expandWildcards, int* startupInfo);

namespace vantry::platform {
namespace {

using windows::kMaxTransfer;
using windows::ThrowFileError;
using windows::ToHandle;

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void RecordStopSignal(int signal) {
  if (g_stopSignal == 0) {
    g_stopSignal = signal;
  }
}

// Reads the line up to its end, a stop signal or maxLength + 1 characters.
HiddenLineResult ReadLine(HANDLE in, std::size_t maxLength, std::string* line) {
  char c = 0;
  DWORD read = 0;
  bool tooLong = false;
  while (ReadConsoleA(in, &c, 1, &read, nullptr) && read == 1 && c != '\n' && StopSignal() == 0) {
    if (c != '\r') {
      if (line->size() == maxLength) {
        tooLong = true;
      } else {
        *line += c;
      }
    }
  }
  c = 0;
  if (tooLong) {
    return HiddenLineResult::kTooLong;
  }
  return StopSignal() != 0 ? HiddenLineResult::kStopped : HiddenLineResult::kRead;
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

// Windows writes no core files; a crash report is up to Windows Error Reporting.
bool DisableCoreDumps() { return true; }

void CatchStopSignals() {
  std::signal(SIGINT, RecordStopSignal);
  std::signal(SIGTERM, RecordStopSignal);
}

int StopSignal() { return static_cast<int>(g_stopSignal); }

void EndByStopSignal(int signal) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(128 + signal);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  // Held for the rest of the program: the tool's names are UTF-8 from here on.
  static const ScopedNameEncoding utf8(NameEncoding::kUtf8);
  // The C runtime's own split of the wide command line, by the rules it applied to argv.
  int count = 0;
  wchar_t** wide = nullptr;
  wchar_t** environment = nullptr;
  int newMode = 0;
  if (__wgetmainargs(&count, &wide, &environment, 0, &newMode) != 0 || wide == nullptr) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  }
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) {
    arguments.push_back(windows::ToUtf8(wide[i]));
  }
  return arguments;
}

// Windows has no SIGPIPE: a failed run, without a message.
void EndByClosedOutput() {
  std::fflush(stderr);
  std::_Exit(1);
}

bool IsStreamInput(const std::string&) { return false; }

// The Windows writer has no in-place fallback.
bool FolderTakesNewFiles(const std::string&) { return true; }

bool IsHeldByAnother(const std::error_code& error) {
  return error.value() == ERROR_SHARING_VIOLATION || error.value() == ERROR_LOCK_VIOLATION ||
         error == std::errc::resource_unavailable_try_again ||
         error == std::errc::operation_would_block;
}

// A key file is opened as any input is: who may change it is its access control list's affair
// (trusted_path.h).
UnlockedInput::UnlockedInput(const std::string& name, InputRole) : m_name(name), m_handle(0) {
  std::wstring wide;
  DWORD error = NO_ERROR;
  if (!windows::ToWideIn(NameEncoding::kUtf8, name, &wide, &error)) {
    ThrowFileError(FileError::Cause::kOpen, name, error);
  }
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ThrowFileError(FileError::Cause::kOpen, name, GetLastError());
  }
  m_handle = windows::ToNative(file);
}

UnlockedInput::~UnlockedInput() { CloseHandle(ToHandle(m_handle)); }

std::size_t UnlockedInput::ReadSome(void* buffer, std::size_t n) {
  DWORD got = 0;
  if (!ReadFile(ToHandle(m_handle), buffer, static_cast<DWORD>(std::min(n, kMaxTransfer)), &got,
                nullptr)) {
    const DWORD error = GetLastError();
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
      return 0;
    }
    ThrowFileError(FileError::Cause::kRead, m_name, error);
  }
  StopIfSignalled();
  return got;
}

HiddenLineResult ReadHiddenLine(const std::string& prompt, std::size_t maxLength,
                                std::string* line) {
  HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD mode = 0;
  if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE || !GetConsoleMode(in, &mode)) {
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    return HiddenLineResult::kNoTerminal;
  }
  DWORD written = 0;
  WriteConsoleA(out, prompt.data(), static_cast<DWORD>(prompt.size()), &written, nullptr);
  SetConsoleMode(in, (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  const HiddenLineResult result = ReadLine(in, maxLength, line);
  SetConsoleMode(in, mode);
  WriteConsoleA(out, "\r\n", 2, &written, nullptr);
  CloseHandle(in);
  CloseHandle(out);
  return result;
}

}  // namespace vantry::platform
