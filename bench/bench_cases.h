// The benchmark cases, registered in pairs "<case>:Vantry" and "<case>:OpenSSL" (see
// ratio_reporter.h), with the targets that apply to them.
#ifndef VANTRY_BENCH_BENCH_CASES_H_
#define VANTRY_BENCH_BENCH_CASES_H_

#include <string>

#include "ratio_reporter.h"

namespace vantry::bench {

struct BenchOptions {
  // Vantry runs its lookup-table path instead of AES-NI; meant for a run with OpenSSL's own
  // hardware paths switched off as well (OPENSSL_ia32cap="~0x200020200000000").
  bool tablePath = false;
  // Vantry's ECB runs stay on the AES-NI kernels even where the processor has vector AES.
  bool aesNiEcb = false;
  // Folder for the file cases.
  std::string scratchDir;
};

void RegisterCipherBenchmarks(RatioReporter& reporter, const BenchOptions& options);
void RegisterShaBenchmarks(RatioReporter& reporter);
void RegisterFileBenchmarks(RatioReporter& reporter, const BenchOptions& options);
// Vantry alone: its core over its own memory reader and over the io double buffer.
void RegisterCoreBenchmarks();

}  // namespace vantry::bench

#endif  // VANTRY_BENCH_BENCH_CASES_H_
