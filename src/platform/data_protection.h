// The system's protection of a key for the current account or machine: on Windows the data
// protection API (CryptProtectData, user scope or local-machine scope) wraps a sealed file's
// random key into a blob that only the same account (or any process of the same machine) can
// unwrap. POSIX systems have no such service: there the account's and machine's secrets are
// files (secret_file.h), and these functions say so.
#ifndef VANTRY_PLATFORM_DATA_PROTECTION_H_
#define VANTRY_PLATFORM_DATA_PROTECTION_H_

#include <cstddef>
#include <stdexcept>
#include <vector>

namespace vantry::platform {

// Whether this system protects keys itself (Windows) rather than through secret files.
bool HasDataProtection() noexcept;

// The blob of the 32-byte key for this account (or, with machineScope, for this machine).
// Throws std::runtime_error when the system refuses.
std::vector<unsigned char> ProtectKey(const unsigned char key[32], bool machineScope);

// Unwraps a blob of ProtectKey into out; false when this account or machine cannot (a blob of
// another account or machine, or a damaged one).
bool UnprotectKey(const std::vector<unsigned char>& blob, bool machineScope, unsigned char out[32]);

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_DATA_PROTECTION_H_
