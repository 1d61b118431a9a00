// The volume query behind QueryVolumeSerial, with the Win32 function as a parameter so that
// tests can stand in for volumes this machine does not have (long labels, failing queries).
#ifndef VANTRY_PLATFORM_WINDOWS_VOLUME_QUERY_H_
#define VANTRY_PLATFORM_WINDOWS_VOLUME_QUERY_H_

#include <cstdint>

#include "platform/windows/win32.h"

namespace vantry::platform::windows {

using GetVolumeInformationFunction = BOOL(WINAPI*)(LPCSTR rootPath, LPSTR volumeName,
                                                   DWORD volumeNameSize, LPDWORD serial,
                                                   LPDWORD maxComponentLength,
                                                   LPDWORD fileSystemFlags, LPSTR fileSystemName,
                                                   DWORD fileSystemNameSize);

// Sizes of the buffers the machine key has always been read with.
constexpr DWORD kVolumeNameBufferSize = 24;
constexpr DWORD kFileSystemNameBufferSize = 12;

// The serial number of C:\ as getVolumeInformation reports it; false when it cannot be read.
bool QueryVolumeSerialWith(GetVolumeInformationFunction getVolumeInformation,
                           std::uint32_t* pSerial) noexcept;

}  // namespace vantry::platform::windows

#endif  // VANTRY_PLATFORM_WINDOWS_VOLUME_QUERY_H_
