#include "platform/data_protection.h"

namespace vantry::platform {

bool HasDataProtection() noexcept { return false; }

std::vector<unsigned char> ProtectKey(const unsigned char*, bool) {
  throw std::runtime_error("this system has no data protection service; its secrets are files");
}

bool UnprotectKey(const std::vector<unsigned char>&, bool, unsigned char*) { return false; }

}  // namespace vantry::platform
