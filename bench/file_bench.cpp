// Whole save and load round trips through the entry points, and the streaming file operations,
// beside the same work done with OpenSSL and plain file I/O (openssl_file_twins.h).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_cases.h"
#include "bench_inputs.h"
#include "openssl_file_twins.h"
#include "vantry/rijndael_cipher.h"
#include "vantry/vantry.h"

namespace vantry::bench {
namespace {

// Disk timings vary more than computing ones: each file case runs for a few seconds, so that
// a large file is still written several times.
constexpr double kFileMinTime = 3.0;

std::string SizeName(std::size_t n) {
  return n >= kMiB ? std::to_string(n / kMiB) + "MiB" : std::to_string(n / kKiB) + "KiB";
}

// A cipher keyed the way every entry point keys it.
void KeyLikeTheEntryPoints(CRijndaelCipher& cipher) {
  unsigned char key[32] = {};
  std::strncpy(reinterpret_cast<char*>(key), kKeyText, sizeof key);
  cipher.SetKey(key, 32, kChainBlock, 16, 16, MODE_ECB, PAD_ZERO);
}

void RegisterSaveLoadCases(RatioReporter& reporter, const std::string& folder) {
  for (std::size_t n : {kKiB, kMiB, 64 * kMiB}) {
    const std::string caseName = "SaveLoad/" + SizeName(n);
    const std::string file = folder + "/saveload-" + SizeName(n) + ".vty";
    const auto length = static_cast<std::int32_t>(n);
    benchmark::RegisterBenchmark(
        (caseName + ":Vantry").c_str(),
        [=](benchmark::State& state) {
          const std::vector<unsigned char> data = PatternBytes(n);
          for (auto _ : state) {
            SaveVantryWithKey2(data.data(), length, file.c_str(), kKeyText);
            std::int32_t loaded = 0;
            unsigned char* block = LoadVantryWithKey2(file.c_str(), &loaded, kKeyText);
            benchmark::DoNotOptimize(block);
            FreeVantryBuffer(block);
          }
          state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
        })
        ->UseRealTime()
        ->MinTime(kFileMinTime)
        ->Unit(benchmark::kMillisecond);
    for (bool durable : {false, true}) {
      benchmark::RegisterBenchmark(
          (caseName + (durable ? ":OpenSSL+durable" : ":OpenSSL")).c_str(),
          [=](benchmark::State& state) {
            const std::vector<unsigned char> data = PatternBytes(n);
            for (auto _ : state) {
              OpenSslSave(data.data(), length, file, kKeyText, durable);
              std::int32_t loaded = 0;
              unsigned char* block = OpenSslLoad(file, &loaded, kKeyText);
              benchmark::DoNotOptimize(block);
              std::free(block);
            }
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
          })
          ->UseRealTime()
          ->MinTime(kFileMinTime)
          ->Unit(benchmark::kMillisecond);
    }
  }
  reporter.SetTarget("SaveLoad/64MiB", Target{Target::Kind::kTimeAtMost, 1.2, "Vantry"});
}

void RegisterStreamCases(const std::string& folder) {
  const std::size_t n = 256 * kMiB;
  const std::string plain = folder + "/stream-plain.bin";
  const std::string sealed = folder + "/stream-protected.vty";
  const std::string output = folder + "/stream-out.bin";
  // The inputs are made by the first case that needs them, not at registration, so that a
  // filtered run that skips these cases writes nothing.
  auto prepare = [=] {
    static bool prepared = false;
    if (!prepared) {
      WritePatternFile(plain, n);
      CRijndaelCipher cipher;
      KeyLikeTheEntryPoints(cipher);
      cipher.EncryptFileStream(plain, sealed);
      prepared = true;
    }
  };
  for (bool encrypt : {true, false}) {
    const std::string caseName =
        std::string(encrypt ? "EncryptFileStream/" : "DecryptFileStream/") + SizeName(n);
    const std::string& input = encrypt ? plain : sealed;
    benchmark::RegisterBenchmark(
        (caseName + ":Vantry").c_str(),
        [=](benchmark::State& state) {
          prepare();
          CRijndaelCipher cipher;
          KeyLikeTheEntryPoints(cipher);
          for (auto _ : state) {
            if (encrypt) {
              cipher.EncryptFileStream(input, output);
            } else {
              cipher.DecryptFileStream(input, output);
            }
          }
          state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
        })
        ->UseRealTime()
        ->MinTime(kFileMinTime)
        ->Unit(benchmark::kMillisecond);
    for (bool durable : {false, true}) {
      benchmark::RegisterBenchmark(
          (caseName + (durable ? ":OpenSSL+durable" : ":OpenSSL")).c_str(),
          [=](benchmark::State& state) {
            prepare();
            for (auto _ : state) {
              if (encrypt) {
                OpenSslEncryptFile(input, output, kKeyText, durable);
              } else {
                OpenSslDecryptFile(input, output, kKeyText, durable);
              }
            }
            state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
          })
          ->UseRealTime()
          ->MinTime(kFileMinTime)
          ->Unit(benchmark::kMillisecond);
    }
  }
}

}  // namespace

void RegisterFileBenchmarks(RatioReporter& reporter, const BenchOptions& options) {
  RegisterSaveLoadCases(reporter, options.scratchDir);
  RegisterStreamCases(options.scratchDir);
}

}  // namespace vantry::bench
