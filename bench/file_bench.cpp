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

enum class Side { kVantry, kOpenSsl, kOpenSslDurable };

const char* SideName(Side side) {
  return side == Side::kVantry    ? ":Vantry"
         : side == Side::kOpenSsl ? ":OpenSSL"
                                  : ":OpenSSL+durable";
}

void Save(Side side, const std::vector<unsigned char>& data, const std::string& file) {
  const auto length = static_cast<std::int32_t>(data.size());
  if (side == Side::kVantry) {
    SaveVantryWithKey2(data.data(), length, file.c_str(), kKeyText);
  } else {
    OpenSslSave(data.data(), length, file, kKeyText, side == Side::kOpenSslDurable);
  }
}

void Load(Side side, const std::string& file) {
  std::int32_t length = 0;
  if (side == Side::kVantry) {
    unsigned char* block = LoadVantryWithKey2(file.c_str(), &length, kKeyText);
    benchmark::DoNotOptimize(block);
    FreeVantryBuffer(block);
  } else {
    unsigned char* block = OpenSslLoad(file, &length, kKeyText);
    benchmark::DoNotOptimize(block);
    std::free(block);
  }
}

// The round trip of the entry points, and for 64 MiB also its two halves on their own, so that
// the cost of each shows.
void RegisterSaveLoadCases(RatioReporter& reporter, const std::string& folder) {
  enum class Work { kSaveLoad, kSave, kLoad };
  const struct {
    Work work;
    std::size_t n;
  } cases[] = {{Work::kSaveLoad, kKiB},
               {Work::kSaveLoad, kMiB},
               {Work::kSaveLoad, 64 * kMiB},
               {Work::kSave, 64 * kMiB},
               {Work::kLoad, 64 * kMiB}};
  for (const auto& c : cases) {
    const char* kind = c.work == Work::kSaveLoad ? "SaveLoad/"
                       : c.work == Work::kSave   ? "Save/"
                                                 : "Load/";
    const std::string caseName = kind + SizeName(c.n);
    for (Side side : {Side::kVantry, Side::kOpenSsl, Side::kOpenSslDurable}) {
      const std::string file = folder + "/saveload-" + SizeName(c.n) + SideName(side) + ".vty";
      const Work work = c.work;
      const std::size_t n = c.n;
      benchmark::RegisterBenchmark(
          (caseName + SideName(side)).c_str(),
          [=](benchmark::State& state) {
            const std::vector<unsigned char> data = PatternBytes(n);
            if (work == Work::kLoad) {
              Save(side, data, file);
            }
            for (auto _ : state) {
              if (work != Work::kLoad) {
                Save(side, data, file);
              }
              if (work != Work::kSave) {
                Load(side, file);
              }
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

// Hosts keep their data files in large folders: a small save must cost the same beside 100,000
// other files as in an empty folder (no step of a save may read the whole folder).
void RegisterLargeFolderCases(RatioReporter& reporter, const std::string& folder) {
  constexpr int kOtherFiles = 100000;
  const std::string caseName = "SaveBesideOtherFiles/1KiB";
  for (const int others : {0, kOtherFiles}) {
    const std::string side = others == 0 ? "EmptyFolder" : "100000Files";
    const std::string subfolder = folder + "/folder-of-" + std::to_string(others);
    benchmark::RegisterBenchmark(
        (caseName + ":" + side).c_str(),
        [=](benchmark::State& state) {
          static bool prepared[2] = {false, false};
          if (!prepared[others == 0 ? 0 : 1]) {
            MakeFolderOfEmptyFiles(subfolder, others);
            prepared[others == 0 ? 0 : 1] = true;
          }
          const std::vector<unsigned char> data = PatternBytes(kKiB);
          const std::string file = subfolder + "/data.vty";
          for (auto _ : state) {
            Save(Side::kVantry, data, file);
          }
          state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kKiB));
        })
        ->UseRealTime()
        ->MinTime(kFileMinTime)
        ->Unit(benchmark::kMillisecond);
  }
  reporter.SetReference(caseName, "EmptyFolder");
  reporter.SetTarget(caseName, Target{Target::Kind::kTimeAtMost, 1.3, "100000Files"});
}

}  // namespace

void RegisterFileBenchmarks(RatioReporter& reporter, const BenchOptions& options) {
  RegisterSaveLoadCases(reporter, options.scratchDir);
  RegisterStreamCases(options.scratchDir);
  RegisterLargeFolderCases(reporter, options.scratchDir);
}

}  // namespace vantry::bench
