// The saved versions of the stress program: each names itself, so a load can tell one complete
// version from a mix of two or from a torn file.
#ifndef VANTRY_TESTS_STRESS_STRESS_VERSIONS_H_
#define VANTRY_TESTS_STRESS_STRESS_VERSIONS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace vantry::stress {

// Data of the given version and length (at least 16 bytes: the version and length head it).
std::vector<unsigned char> VersionData(std::uint32_t version, std::uint32_t length);

// Checks a loaded block: the data of one version, its zero padding to 16 and 32 zero bytes.
// Returns "" when it is whole, else what is wrong with it.
std::string CheckLoaded(const unsigned char* block, std::int32_t length);

}  // namespace vantry::stress

#endif  // VANTRY_TESTS_STRESS_STRESS_VERSIONS_H_
