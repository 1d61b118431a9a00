#include "secret.h"

namespace vantry::tool {

void WipeBytes(std::vector<unsigned char>& bytes) noexcept {
  bytes.resize(bytes.capacity());
  SecureWipe(bytes.data(), bytes.size());
  bytes.clear();
}

}  // namespace vantry::tool
