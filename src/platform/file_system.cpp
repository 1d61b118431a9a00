#include "platform/file_system.h"

#include <memory>

namespace vantry::platform {
namespace {

// Only tests of the layers above a writer replace it, one test at a time.
std::unique_ptr<FileSystem> g_replacement;

}  // namespace

FileSystem& FileSystem::Default() { return g_replacement ? *g_replacement : SystemFileSystem(); }

int DiskFullFileSystem::Write(NativeHandle file, const void* data, std::size_t n,
                              std::size_t* written) {
  *written = 0;
  if (m_left == 0) {
    return DiskFullError();
  }
  const int error = FileSystemWrapper::Write(
      file, data, n < m_left ? n : static_cast<std::size_t>(m_left), written);
  m_left -= *written;
  return error;
}

void SetWriteFaultForTesting(std::int64_t failAfterBytes) {
  g_replacement.reset();
  if (failAfterBytes >= 0) {
    g_replacement =
        std::make_unique<DiskFullFileSystem>(static_cast<std::uint64_t>(failAfterBytes));
  }
}

}  // namespace vantry::platform
