#include "platform/memory_lock.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vantry::platform {
namespace {

// The VmFlags line of /proc/self/smaps for the mapping that holds address.
std::string FlagsOfMappingHolding(const void* address) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    std::uintptr_t begin = 0;
    std::uintptr_t end = 0;
    char dash = 0;
    std::istringstream range(line);
    if (range >> std::hex >> begin >> dash >> end && dash == '-') {
      inside = begin <= at && at < end;
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      return line + " ";
    }
  }
  return "";
}

// Plain text in swap or in a core file outlives every wipe: locked pages stay in memory, and
// pages left out of dumps stay out of core files.
TEST(MemoryLock, SecretPagesAreLockedAndLeftOutOfCoreDumps) {
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_MEMLOCK, &limit), 0);
  for (const std::size_t size : {std::size_t{100}, std::size_t{1} << 20}) {
    std::vector<unsigned char> secret(size, 0x5A);
    LockSecretMemory(secret.data(), size);
    const std::string flags = FlagsOfMappingHolding(secret.data() + size / 2);
    EXPECT_NE(flags.find(" dd "), std::string::npos) << size << ": " << flags;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= (std::size_t{4} << 20)) {
      EXPECT_NE(flags.find(" lo "), std::string::npos) << size << ": " << flags;
    }
    UnlockSecretMemory(secret.data(), size);
    EXPECT_EQ(FlagsOfMappingHolding(secret.data()).find(" lo "), std::string::npos) << size;
  }
}

}  // namespace
}  // namespace vantry::platform
