#include <filesystem>

#include "platform/file.h"

namespace vantry::platform {

bool SameExistingFile(const std::string& a, const std::string& b) noexcept {
  try {
    std::error_code ec;
    // equivalent() compares device and inode (file index on Windows), so links, relative
    // paths and differently cased names on case-insensitive volumes all count as the same file.
    const bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
  } catch (...) {  // building the paths may fail to allocate
    return false;
  }
}

}  // namespace vantry::platform
