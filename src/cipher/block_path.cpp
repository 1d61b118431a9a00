#include "cipher/block_path.h"

#include <atomic>

#include "cipher/aes_ni/aes_ni.h"
#include "cipher/aes_ni/vaes.h"

namespace vantry {
namespace {

// Atomic because objects may be keyed on several threads; the switch itself is flipped only by
// tests, between keyings.
std::atomic<bool> g_forceTablePath{false};
// -1: no kernel forced; else the EcbKernel's value.
std::atomic<int> g_forcedEcbKernel{-1};

EcbKernel WidestEcbKernel() noexcept {
  if (vaes::Available512()) {
    return EcbKernel::kVaes512;
  }
  return vaes::Available256() ? EcbKernel::kVaes256 : EcbKernel::kAesNi;
}

}  // namespace

bool AesNiPathSelected() noexcept {
  return aes_ni::Available() && !g_forceTablePath.load(std::memory_order_relaxed);
}

void ForceTablePathForTesting(bool force) noexcept {
  g_forceTablePath.store(force, std::memory_order_relaxed);
}

EcbKernel SelectedEcbKernel() noexcept {
  const int forced = g_forcedEcbKernel.load(std::memory_order_relaxed);
  if (forced >= 0) {
    return static_cast<EcbKernel>(forced);
  }
  static const EcbKernel widest = WidestEcbKernel();
  return widest;
}

bool EcbKernelRuns(EcbKernel kernel) noexcept {
  switch (kernel) {
    case EcbKernel::kVaes512:
      return vaes::Available512();
    case EcbKernel::kVaes256:
      return vaes::Available256();
    case EcbKernel::kAesNi:
      break;
  }
  return aes_ni::Available();
}

void ForceEcbKernelForTesting(bool force, EcbKernel kernel) noexcept {
  g_forcedEcbKernel.store(force ? static_cast<int>(kernel) : -1, std::memory_order_relaxed);
}

}  // namespace vantry
