#include "api/machine_key.h"

#include <cstdio>

#include "platform/volume_serial.h"

namespace vantry {
namespace {

bool QueryPlatformVolumeSerial(std::uint32_t* pSerial) {
  return platform::QueryVolumeSerial(pSerial);
}

VolumeSerialQuery g_volumeSerialQuery = &QueryPlatformVolumeSerial;

}  // namespace

void SetVolumeSerialQueryForTesting(VolumeSerialQuery query) {
  g_volumeSerialQuery = query != nullptr ? query : &QueryPlatformVolumeSerial;
}

std::string FormatVolumeSerial(std::uint32_t serial) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X-%04X", static_cast<unsigned>(serial >> 16),
                static_cast<unsigned>(serial & 0xFFFFu));
  return text;
}

std::string GetMachineKey() {
  std::uint32_t serial = 0;
  // A machine whose volume cannot be queried gets the empty key text, never an error: files
  // saved there stay readable there, and hosts need no failure path for the default key.
  if (!g_volumeSerialQuery(&serial)) {
    return std::string();
  }
  return FormatVolumeSerial(serial);
}

}  // namespace vantry
