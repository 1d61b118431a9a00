// The default key and the fixed cipher parameters of the entry points, for tools and hosts
// that want to work with protected files through CRijndaelCipher directly.
#ifndef VANTRY_MACHINE_KEY_H_
#define VANTRY_MACHINE_KEY_H_

#include <string>

#include "vantry/export.h"

namespace vantry {

// The serial number of the system volume as "%04X-%04X", high half first; empty when the
// volume cannot be queried. On Windows the volume is C:\. On POSIX systems it is the volume
// that holds the root directory: statvfs("/") f_fsid, folded to 32 bits (low word XOR high).
VANTRY_API std::string GetMachineKey();

// The chain block every protected file of the entry points is keyed with. The entry points use
// ECB, where it takes no part, but it is what ResetChainBlock restores.
inline constexpr unsigned char kVantryChainBlock[16] = {
    0x7E, 0x1B, 0xC4, 0x52, 0x09, 0xA8, 0x3F, 0xD6, 0x61, 0x2C, 0x95, 0xE0, 0x4B, 0x78, 0xD3, 0x17};
inline constexpr int kVantryKeyBufferSize = 32;  // key text bytes copied, zero-filled
inline constexpr int kVantryKeyLength = 16;      // of which the cipher uses these
inline constexpr int kVantryBlockSize = 16;

}  // namespace vantry

#endif  // VANTRY_MACHINE_KEY_H_
