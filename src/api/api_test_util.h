// Test stand-in for the volume query behind GetMachineKey: gives a chosen serial, or fails,
// for as long as the object lives.
#ifndef VANTRY_API_API_TEST_UTIL_H_
#define VANTRY_API_API_TEST_UTIL_H_

#include <cstdint>

#include "api/machine_key.h"

namespace vantry::test {

class ScopedVolumeSerial {
 public:
  explicit ScopedVolumeSerial(std::uint32_t serial) {
    Serial() = serial;
    SetVolumeSerialQueryForTesting(&Succeed);
  }
  static ScopedVolumeSerial Failing() { return ScopedVolumeSerial(); }
  ~ScopedVolumeSerial() { SetVolumeSerialQueryForTesting(nullptr); }
  ScopedVolumeSerial(const ScopedVolumeSerial&) = delete;
  ScopedVolumeSerial& operator=(const ScopedVolumeSerial&) = delete;

 private:
  ScopedVolumeSerial() { SetVolumeSerialQueryForTesting(&Fail); }
  static std::uint32_t& Serial() {
    static std::uint32_t serial = 0;
    return serial;
  }
  static bool Succeed(std::uint32_t* pSerial) {
    *pSerial = Serial();
    return true;
  }
  static bool Fail(std::uint32_t* pSerial) {
    *pSerial = 0xDEADBEEF;  // a query that fails may still have written something
    return false;
  }
};

}  // namespace vantry::test

#endif  // VANTRY_API_API_TEST_UTIL_H_
