// QueryVolumeSerial on Windows: the serial number of C:\ as GetVolumeInformationA reports it,
// also on volumes whose label does not fit the name buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/volume_serial.h"
#include "platform/windows/volume_query.h"
#include "platform/windows/win32.h"

namespace vantry::platform::windows {
namespace {

TEST(VolumeSerialWindowsTest, IsTheSerialNumberOfDriveC) {
  DWORD expected = 0;
  ASSERT_TRUE(GetVolumeInformationA("C:\\", nullptr, 0, &expected, nullptr, nullptr, nullptr, 0));
  std::uint32_t serial = 0;
  ASSERT_TRUE(QueryVolumeSerial(&serial));
  EXPECT_EQ(serial, expected);
  EXPECT_FALSE(QueryVolumeSerial(nullptr));
}

// A stand-in volume: what GetVolumeInformationA would answer for it, and what it was asked.
struct FakeVolume {
  DWORD serial;
  std::size_t labelLength;  // characters, without the terminator
  DWORD failure;            // NO_ERROR: a label that fits is answered
  struct Call {
    std::string root;
    DWORD nameSize;
    DWORD fileSystemSize;
  };
  std::vector<Call> calls;
};
FakeVolume* g_volume = nullptr;

BOOL WINAPI FakeGetVolumeInformation(LPCSTR root, LPSTR name, DWORD nameSize, LPDWORD serial,
                                     LPDWORD maxComponent, LPDWORD flags, LPSTR fileSystem,
                                     DWORD fileSystemSize) {
  g_volume->calls.push_back({root, nameSize, fileSystemSize});
  if (g_volume->failure != NO_ERROR) {
    SetLastError(g_volume->failure);
    return FALSE;
  }
  // As Windows does: a buffer too small for the label fails the whole call.
  if (name != nullptr && nameSize <= g_volume->labelLength) {
    SetLastError(ERROR_BAD_LENGTH);
    return FALSE;
  }
  if (name != nullptr) {
    std::string(g_volume->labelLength, 'L').copy(name, nameSize);
    name[g_volume->labelLength] = '\0';
  }
  if (fileSystem != nullptr && fileSystemSize >= 5) {
    std::string("NTFS").copy(fileSystem, fileSystemSize);
    fileSystem[4] = '\0';
  }
  if (maxComponent != nullptr) {
    *maxComponent = 255;
  }
  if (flags != nullptr) {
    *flags = 0;
  }
  *serial = g_volume->serial;
  return TRUE;
}

TEST(VolumeSerialWindowsTest, AsksOnceWithTheFixedBuffers) {
  const struct {
    std::size_t labelLength;
    DWORD failure;
    bool found;
    std::size_t calls;
  } cases[] = {
      {0, NO_ERROR, true, 1},
      {23, NO_ERROR, true, 1},  // the longest label the 24-byte buffer holds
      // NTFS labels reach 32 characters: the query fails and the key is empty, as it always
      // was on such machines, so their files still load.
      {24, NO_ERROR, false, 1},
      {32, NO_ERROR, false, 1},
      {0, ERROR_MORE_DATA, false, 1},
      {0, ERROR_NOT_READY, false, 1},
      {0, ERROR_PATH_NOT_FOUND, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "label " << c.labelLength << " failure " << c.failure);
    FakeVolume volume{0x0000ABCD, c.labelLength, c.failure, {}};
    g_volume = &volume;
    std::uint32_t serial = 0x11111111;
    EXPECT_EQ(QueryVolumeSerialWith(&FakeGetVolumeInformation, &serial), c.found);
    EXPECT_EQ(serial, c.found ? 0x0000ABCDu : 0x11111111u);  // untouched on failure
    ASSERT_EQ(volume.calls.size(), c.calls);
    EXPECT_EQ(volume.calls[0].root, "C:\\");
    EXPECT_EQ(volume.calls[0].nameSize, kVolumeNameBufferSize);
    EXPECT_EQ(volume.calls[0].fileSystemSize, kFileSystemNameBufferSize);
    g_volume = nullptr;
  }
}

}  // namespace
}  // namespace vantry::platform::windows
