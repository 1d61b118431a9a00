#include "cipher/block_path.h"

#include <atomic>

#include "cipher/aes_ni/aes_ni.h"

namespace vantry {
namespace {

// Atomic because objects may be keyed on several threads; the switch itself is flipped only by
// tests, between keyings.
std::atomic<bool> g_forceTablePath{false};

}  // namespace

bool AesNiPathSelected() noexcept {
  return aes_ni::Available() && !g_forceTablePath.load(std::memory_order_relaxed);
}

void ForceTablePathForTesting(bool force) noexcept {
  g_forceTablePath.store(force, std::memory_order_relaxed);
}

}  // namespace vantry
