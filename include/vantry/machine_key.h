// The default key of the entry points, for tools and hosts that want to work with protected
// files through CRijndaelCipher directly. The fixed cipher parameters that go with it belong to
// the keying (keying.h, included here so that callers who found them here still do).
#ifndef VANTRY_MACHINE_KEY_H_
#define VANTRY_MACHINE_KEY_H_

#include <string>

#include "vantry/export.h"
#include "vantry/keying.h"

namespace vantry {

// The serial number of the system volume as "%04X-%04X", high half first; empty when the
// volume cannot be queried. On Windows the volume is C:\. On POSIX systems it is the volume
// that holds the root directory: statvfs("/") f_fsid, folded to 32 bits (low word XOR high).
VANTRY_API std::string GetMachineKey();

}  // namespace vantry

#endif  // VANTRY_MACHINE_KEY_H_
