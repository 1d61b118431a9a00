// The POSIX machine key is the serial of the volume that holds the root directory: the file
// system id of statvfs("/"), folded to 32 bits. Cross-checked here against the system call
// itself, so a change of the folding (or of the volume asked) cannot pass unnoticed.

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "api/machine_key.h"

namespace vantry {
namespace {

TEST(MachineKeyPosix, IsTheRootFileSystemIdFoldedLowXorHigh) {
  struct statvfs info {};
  ASSERT_EQ(statvfs("/", &info), 0);
  std::uint64_t fsid = static_cast<std::uint64_t>(info.f_fsid);
  std::uint32_t folded = static_cast<std::uint32_t>(fsid) ^ static_cast<std::uint32_t>(fsid >> 32);
  char expected[16];
  std::snprintf(expected, sizeof expected, "%04X-%04X", folded >> 16, folded & 0xFFFFu);
  EXPECT_EQ(GetMachineKey(), expected);
}

}  // namespace
}  // namespace vantry
