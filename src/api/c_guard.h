// The one way a function of the C interface turns what its body throws into a status.
#ifndef VANTRY_API_C_GUARD_H_
#define VANTRY_API_C_GUARD_H_

#include <type_traits>

#include "vantry/sealed.h"

namespace vantry {

// Runs body(context) and returns VANTRY_OK, or the status of whatever it threw: a refusal of
// the arguments (std::invalid_argument), a file error, the cipher's or a sealed file's error, a
// lack of memory, anything else as VANTRY_ERROR_INTERNAL. This thread's last error and system
// code are recorded either way ("" after a success).
int GuardCall(void (*body)(void*), void* context) noexcept;

template <class Body>
int Guard(Body&& body) noexcept {
  using Callable = std::remove_reference_t<Body>;
  return GuardCall([](void* context) { (*static_cast<Callable*>(context))(); },
                   const_cast<void*>(static_cast<const void*>(&body)));
}

// The status of a sealed file's failure, and the texts of the sealed statuses
// (sealed_c_interface.cpp).
int StatusOfSealedError(SealedError::Kind kind) noexcept;
const char* SealedStatusText(int status) noexcept;

}  // namespace vantry

#endif  // VANTRY_API_C_GUARD_H_
