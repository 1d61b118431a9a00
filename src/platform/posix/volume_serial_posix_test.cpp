#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include "platform/volume_serial.h"

namespace vantry::platform {
namespace {

TEST(VolumeSerialPosixTest, FoldsBothHalvesOfTheRootFileSystemId) {
  struct statvfs info {};
  ASSERT_EQ(::statvfs("/", &info), 0);
  const auto fsid = static_cast<std::uint64_t>(info.f_fsid);
  std::uint32_t serial = 0;
  ASSERT_TRUE(QueryVolumeSerial(&serial));
  EXPECT_EQ(serial, static_cast<std::uint32_t>((fsid & 0xFFFFFFFFu) ^ (fsid >> 32)));
  EXPECT_FALSE(QueryVolumeSerial(nullptr));
}

}  // namespace
}  // namespace vantry::platform
