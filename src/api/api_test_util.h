// What the api tests share: a stand-in for the volume query behind GetMachineKey, and what
// the system says of a missing folder.
#ifndef VANTRY_API_API_TEST_UTIL_H_
#define VANTRY_API_API_TEST_UTIL_H_

#include <cerrno>
#include <cstdint>
#include <string>

#include "api/machine_key.h"
#include "platform/file.h"

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

// What the system says about a name in a folder that does not exist.
#if defined(_WIN32)
constexpr int kMissingFolder = 3;  // ERROR_PATH_NOT_FOUND
#else
constexpr int kMissingFolder = ENOENT;
#endif
inline const std::string kMissingFolderText = platform::SystemErrorText(kMissingFolder);

}  // namespace vantry::test

#endif  // VANTRY_API_API_TEST_UTIL_H_
