// Messages of the entry points' own argument checks. They are made before anything else, so a
// refused call touches no file and allocates nothing.
#ifndef VANTRY_API_ARGUMENT_CHECKS_H_
#define VANTRY_API_ARGUMENT_CHECKS_H_

namespace vantry {

inline constexpr char kNullOutLengthMessage[] = "Sealkit ERROR: outLength must not be null!";
inline constexpr char kNullDataMessage[] =
    "Sealkit ERROR: data must not be null when length is positive!";

}  // namespace vantry

#endif  // VANTRY_API_ARGUMENT_CHECKS_H_
