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
  // A label of more than 23 characters does not fit the 24-byte name buffer and the whole query
  // fails, so such a machine's key is the empty text. Files saved there with the machine key
  // were keyed that way, so the query must stay as it is for them to load (see SECURITY.md).
  return false;
}

}  // namespace windows

bool QueryVolumeSerial(std::uint32_t* pSerial) noexcept {
  return windows::QueryVolumeSerialWith(&GetVolumeInformationA, pSerial);
}

}  // namespace vantry::platform
