// Wipes secrets in a way the optimiser cannot remove.
#ifndef VANTRY_PLATFORM_SECURE_WIPE_H_
#define VANTRY_PLATFORM_SECURE_WIPE_H_

#include <cstddef>

namespace vantry::platform {

void SecureWipe(void* p, std::size_t n) noexcept;

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_SECURE_WIPE_H_
