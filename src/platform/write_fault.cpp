#include "platform/write_fault.h"

#include <cstdint>
#include <utility>

#include "platform/file.h"

namespace vantry::platform {
namespace {

// Negative: no fault. Tests run one writer at a time, so plain globals are enough.
std::int64_t g_limit = -1;
std::uint64_t g_written = 0;
std::function<void(WriterStep)> g_hook;

}  // namespace

void SetWriteFaultForTesting(std::int64_t failAfterBytes) {
  g_limit = failAfterBytes;
  g_written = 0;
}

void SetWriterHookForTesting(std::function<void(WriterStep)> hook) { g_hook = std::move(hook); }

namespace detail {

void RunWriterHook(WriterStep step) {
  if (g_hook) {
    g_hook(step);
  }
}

std::size_t WriteAllowance(std::size_t n) noexcept {
  if (g_limit < 0) {
    return n;
  }
  const auto limit = static_cast<std::uint64_t>(g_limit);
  const std::uint64_t left = g_written >= limit ? 0 : limit - g_written;
  return left < n ? static_cast<std::size_t>(left) : n;
}

void CountWritten(std::size_t n) noexcept {
  if (g_limit >= 0) {
    g_written += n;
  }
}

}  // namespace detail
}  // namespace vantry::platform
