// The serial number of the system volume, the source of the machine key.
#ifndef VANTRY_PLATFORM_VOLUME_SERIAL_H_
#define VANTRY_PLATFORM_VOLUME_SERIAL_H_

#include <cstdint>

namespace vantry::platform {

// Windows: GetVolumeInformationA on "C:\". POSIX: statvfs("/") f_fsid folded to 32 bits
// (low word XOR high word). Returns false when the query fails.
bool QueryVolumeSerial(std::uint32_t* pSerial) noexcept;

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_VOLUME_SERIAL_H_
