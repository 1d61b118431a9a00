#include <cerrno>
#include <cstring>

#include "platform/file.h"

namespace vantry::platform {
namespace {

// strerror_r comes in two flavours: XSI returns a status and fills the buffer, GNU returns a
// pointer that may or may not be the buffer. Overloads pick whichever this C library has.
[[maybe_unused]] const char* ErrorTextOf(int status, const char* buffer) {
  return status == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* ErrorTextOf(const char* text, const char*) { return text; }

}  // namespace

std::string SystemErrorText(int code) {
  char buffer[256] = {};
  const char* text = ErrorTextOf(strerror_r(code, buffer, sizeof buffer), buffer);
  if (text == nullptr || *text == '\0') {
    return "Unknown error " + std::to_string(code);
  }
  return text;
}

int LastSystemError() noexcept { return errno; }

}  // namespace vantry::platform
