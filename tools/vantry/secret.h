// Key texts, key data and plain text held by the tool are wiped before their memory is
// released, so that neither a core file nor a later allocation finds them.
#ifndef VANTRY_TOOL_SECRET_H_
#define VANTRY_TOOL_SECRET_H_

#include <cstddef>
#include <string>
#include <vector>

#include "platform/secure_wipe.h"

namespace vantry::tool {

// The library's secret memory (compiled into the tool from its one source, as the memory locking
// is).
using platform::SecretBuffer;
using platform::SecureWipe;
using platform::WipeString;

// Wipes everything the vector's buffer holds, up to its capacity, and empties it.
void WipeBytes(std::vector<unsigned char>& bytes) noexcept;

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_SECRET_H_
