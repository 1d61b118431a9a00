#include "platform/volume_serial.h"

#include "platform/windows/volume_query.h"

namespace vantry::platform {
namespace windows {

bool QueryVolumeSerialWith(GetVolumeInformationFunction getVolumeInformation,
                           std::uint32_t* pSerial) noexcept {
  if (pSerial == nullptr) {
    return false;
  }
  char volumeName[kVolumeNameBufferSize] = {};
  char fileSystemName[kFileSystemNameBufferSize] = {};
  DWORD serial = 0;
  DWORD maxComponentLength = 0;
  DWORD fileSystemFlags = 0;
  if (getVolumeInformation("C:\\", volumeName, sizeof volumeName, &serial, &maxComponentLength,
                           &fileSystemFlags, fileSystemName, sizeof fileSystemName)) {
    *pSerial = serial;
    return true;
  }
  // A label of more than 23 characters (NTFS allows 32) does not fit the name buffer, and the
  // whole query fails although only the serial number is wanted. Such a machine would quietly
  // get the empty key, the same for every machine, and would lose its key the day the label
  // changes; asking again for the serial number alone keeps the key bound to the volume.
  const DWORD error = GetLastError();
  if (error != ERROR_BAD_LENGTH && error != ERROR_MORE_DATA && error != ERROR_INSUFFICIENT_BUFFER) {
    return false;
  }
  serial = 0;
  if (!getVolumeInformation("C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) {
    return false;
  }
  *pSerial = serial;
  return true;
}

}  // namespace windows

bool QueryVolumeSerial(std::uint32_t* pSerial) noexcept {
  return windows::QueryVolumeSerialWith(&GetVolumeInformationA, pSerial);
}

}  // namespace vantry::platform
