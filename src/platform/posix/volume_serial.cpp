#include "platform/volume_serial.h"

#include <sys/statvfs.h>

namespace vantry::platform {

bool QueryVolumeSerial(std::uint32_t* pSerial) noexcept {
  if (pSerial == nullptr) {
    return false;
  }
  struct statvfs info {};
  if (statvfs("/", &info) != 0) {
    return false;
  }
  // f_fsid is as wide as unsigned long; the machine key takes a 32-bit serial as on Windows,
  // so both halves are folded in rather than dropping the high one.
  const auto fsid = static_cast<std::uint64_t>(info.f_fsid);
  *pSerial = static_cast<std::uint32_t>(fsid) ^ static_cast<std::uint32_t>(fsid >> 32);
  return true;
}

}  // namespace vantry::platform
