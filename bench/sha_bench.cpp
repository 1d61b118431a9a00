// CSHA side by side with OpenSSL's SHA-256: a key check text (46 bytes, the longest one) and a
// mebibyte.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_cases.h"
#include "bench_inputs.h"
#include "openssl_evp.h"
#include "vantry/sha.h"

namespace vantry::bench {

void RegisterShaBenchmarks(RatioReporter&) {
  for (std::size_t n : {std::size_t{46}, kMiB}) {
    const std::string caseName =
        "SHA-256/" + (n >= kMiB ? std::string("1MiB") : std::to_string(n) + "B");
    benchmark::RegisterBenchmark((caseName + ":Vantry").c_str(), [=](benchmark::State& state) {
      const std::vector<unsigned char> data = PatternBytes(n);
      unsigned char digest[32];
      CSHA sha;
      for (auto _ : state) {
        sha.AddData(data.data(), static_cast<std::int32_t>(n));
        sha.FinalDigest(digest);
        benchmark::DoNotOptimize(digest);
      }
      state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
    });
    benchmark::RegisterBenchmark((caseName + ":OpenSSL").c_str(), [=](benchmark::State& state) {
      const std::vector<unsigned char> data = PatternBytes(n);
      unsigned char digest[32];
      EvpSha256 sha;
      for (auto _ : state) {
        sha.Digest(data.data(), n, digest);
        benchmark::DoNotOptimize(digest);
      }
      state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
    });
  }
}

}  // namespace vantry::bench
