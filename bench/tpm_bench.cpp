// The time of one TPM seal and one unseal: on the TPM that VANTRY_TPM_TCTI names when it is set
// (a machine's own, "device:/dev/tpmrm0"), else on a software TPM started here, which is much
// faster than a hardware TPM's RSA key generation. And a thousand seals and unseals in one
// process, after which a software TPM (no resource manager to clean up behind us) must hold
// no object or session: it has room for three of each.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/tpm.h"
#include "support/software_tpm.h"

namespace {

using vantry::platform::tpm::kSecretSize;
using vantry::test::SoftwareTpm;

std::unique_ptr<SoftwareTpm> g_softwareTpm;

const std::string& Tcti() {
  static const std::string tcti = [] {
    if (std::getenv("VANTRY_TPM_TCTI") != nullptr) {
      return vantry::platform::tpm::DefaultTcti();
    }
    g_softwareTpm = std::make_unique<SoftwareTpm>();
    return g_softwareTpm->tcti();
  }();
  return tcti;
}

const unsigned char kSecret[kSecretSize] = {1, 2, 3};

void TpmSeal(benchmark::State& state) {
  const auto pcrs = static_cast<std::uint32_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(vantry::platform::tpm::Seal(kSecret, pcrs, Tcti()));
  }
}
BENCHMARK(TpmSeal)->Arg(0)->Arg(1 << 7)->ArgName("pcrs")->Unit(benchmark::kMillisecond);

void TpmUnseal(benchmark::State& state) {
  const auto pcrs = static_cast<std::uint32_t>(state.range(0));
  const std::vector<unsigned char> blob = vantry::platform::tpm::Seal(kSecret, pcrs, Tcti());
  unsigned char secret[kSecretSize];
  for (auto _ : state) {
    vantry::platform::tpm::Unseal(blob, secret, Tcti());
    benchmark::DoNotOptimize(secret);
  }
}
BENCHMARK(TpmUnseal)->Arg(0)->Arg(1 << 7)->ArgName("pcrs")->Unit(benchmark::kMillisecond);

void TpmThousandSealsAndUnseals(benchmark::State& state) {
  unsigned char secret[kSecretSize];
  for (auto _ : state) {
    vantry::platform::tpm::Unseal(vantry::platform::tpm::Seal(kSecret, 0, Tcti()), secret, Tcti());
  }
  if (g_softwareTpm != nullptr && g_softwareTpm->LoadedHandles() != 0) {
    state.SkipWithError("the TPM holds objects or sessions left behind");
  }
}
BENCHMARK(TpmThousandSealsAndUnseals)->Iterations(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
