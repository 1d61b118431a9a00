// The one way a function of the C interface turns what its body throws into a status, and the
// one mapping of statuses to their texts (c_guard.cpp, with vantry_last_error and
// vantry_status_text).
#ifndef VANTRY_API_C_GUARD_H_
#define VANTRY_API_C_GUARD_H_

#include <stdexcept>
#include <string>
#include <type_traits>

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

// A refusal of the C interface itself, with the status it stands for.
class StatusError : public std::runtime_error {
 public:
  StatusError(int status, const std::string& message)
      : std::runtime_error(message), m_status(status) {}
  int status() const noexcept { return m_status; }

 private:
  int m_status;
};

}  // namespace vantry

#endif  // VANTRY_API_C_GUARD_H_
