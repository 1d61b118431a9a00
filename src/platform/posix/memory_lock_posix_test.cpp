#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/memory_lock.h"

namespace vantry::platform {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The VmFlags of the mapping that holds address, from /proc/self/smaps.
std::string FlagsAt(const void* address) {
  std::ifstream smaps("/proc/self/smaps");
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    void* begin = nullptr;
    void* end = nullptr;
    if (std::sscanf(line.c_str(), "%p-%p ", &begin, &end) == 2) {
      inside = begin <= address && address < end;
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      return line + " ";
    }
  }
  return "";
}

// Plain text in swap or a core file outlives every wipe. Heap memory, then a mapping of its own.
TEST(MemoryLock, SecretPagesAreLockedAndLeftOutOfCoreDumps) {
  for (const std::size_t size : {std::size_t{100}, std::size_t{1} << 20}) {
    std::vector<unsigned char> secret(size, 0x5A);
    LockSecretMemory(secret.data(), size);
    EXPECT_NE(FlagsAt(secret.data()).find(" dd "), std::string::npos) << size;
    // Without privilege the lock limit may refuse, and the memory is used unlocked; the
    // sanitizers make mlock a no-op.
    EXPECT_TRUE(::geteuid() != 0 || kSanitized ||
                FlagsAt(secret.data()).find(" lo ") != std::string::npos);
    UnlockSecretMemory(secret.data(), size);
    EXPECT_EQ(FlagsAt(secret.data()).find(" lo "), std::string::npos) << size;
  }
}

}  // namespace
}  // namespace vantry::platform
