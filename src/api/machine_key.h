// Internal side of GetMachineKey (declared in vantry/machine_key.h): a seam that lets tests
// stand in for the volume query, so every serial and a failing query can be exercised on any
// machine.
#ifndef VANTRY_API_MACHINE_KEY_H_
#define VANTRY_API_MACHINE_KEY_H_

#include <cstdint>
#include <string>

#include "vantry/machine_key.h"

namespace vantry {

// The query GetMachineKey asks: returns false when the serial cannot be read.
using VolumeSerialQuery = bool (*)(std::uint32_t* pSerial);

// Replaces the platform's volume query for GetMachineKey; nullptr restores it. Not
// thread-safe; for tests only.
void SetVolumeSerialQueryForTesting(VolumeSerialQuery query);

// The machine key text for a serial: "%04X-%04X", high half first, always 9 characters.
std::string FormatVolumeSerial(std::uint32_t serial);

}  // namespace vantry

#endif  // VANTRY_API_MACHINE_KEY_H_
