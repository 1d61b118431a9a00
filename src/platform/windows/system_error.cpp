#include <string>

#include "platform/file.h"
#include "platform/windows/wide_name.h"
#include "platform/windows/win32.h"

namespace vantry::platform {

std::string SystemErrorText(int code) {
  wchar_t buffer[512] = {};
  // Language 0: the thread's, then the user's, then the system's language, then English. Asked
  // for in UTF-16 and handed over in the encoding of the call's names, so that a message
  // holding both a name and this text is in one encoding.
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, static_cast<DWORD>(code), 0, buffer, sizeof buffer / sizeof buffer[0], nullptr);
  std::string text = windows::ToCurrentEncoding(std::wstring(buffer, length));
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
