#include <string>

#include "platform/file.h"
#include "platform/windows/win32.h"

namespace vantry::platform {

std::string SystemErrorText(int code) {
  char buffer[512] = {};
  // Language 0: the thread's, then the user's, then the system's language, then English.
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  // System messages end in ".\r\n" (MAX_WIDTH_MASK turns the line ends into blanks); the text
  // goes after a colon inside a sentence of ours, so both are trimmed.
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\r' || text.back() == '\n' || text.back() == '.')) {
    text.pop_back();
  }
  if (text.empty()) {
    return "Unknown error " + std::to_string(code);
  }
  return text;
}

int LastSystemError() noexcept { return static_cast<int>(GetLastError()); }

}  // namespace vantry::platform
