// vantry_bench: the library side by side with OpenSSL, and the ratios at the end.
//
//   vantry_bench [--table-path | --aes-ni-ecb] [Google Benchmark flags]
//
// --aes-ni-ecb keeps Vantry's ECB runs on the AES-NI kernels where the processor has the vector
// AES ones too, so that the two can be compared on one machine.
// --table-path runs Vantry's lookup-table path instead of AES-NI; run it with
// OPENSSL_ia32cap="~0x200020200000000" so that OpenSSL leaves its AES-NI, SSSE3 and CLMUL code
// aside as well (scripts/bench does both runs).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "bench_cases.h"
#include "bench_inputs.h"
#include "cipher/aes_ni/aes_ni.h"
#include "cipher/block_path.h"
#include "openssl_file_twins.h"
#include "ratio_reporter.h"
#include "vantry/rijndael_cipher.h"
#include "vantry/vantry.h"

namespace vantry::bench {
namespace {

std::vector<unsigned char> ReadAll(const std::string& name) {
  std::vector<unsigned char> bytes;
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) {
    return bytes;
  }
  unsigned char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  std::fclose(file);
  return bytes;
}

// The comparison means something only if both sides do the same work: before anything is
// timed, the OpenSSL twins must write and read exactly the files Vantry does.
bool TwinsMatchVantry(const ScratchDir& scratch) {
  const std::vector<unsigned char> data = PatternBytes(1000 + 3 * kKiB, 7);
  const auto length = static_cast<std::int32_t>(data.size());
  const std::string ours = scratch.File("check-vantry.vty");
  const std::string theirs = scratch.File("check-openssl.vty");
  SaveVantryWithKey2(data.data(), length, ours.c_str(), kKeyText);
  OpenSslSave(data.data(), length, theirs, kKeyText, true);
  bool same = ReadAll(ours) == ReadAll(theirs) && !ReadAll(ours).empty();

  std::int32_t ourLength = 0;
  std::int32_t theirLength = 0;
  unsigned char* ourBlock = LoadVantryWithKey2(ours.c_str(), &ourLength, kKeyText);
  unsigned char* theirBlock = OpenSslLoad(ours, &theirLength, kKeyText);
  same = same && ourLength == theirLength &&
         std::memcmp(ourBlock, theirBlock, static_cast<std::size_t>(ourLength)) == 0;
  FreeVantryBuffer(ourBlock);
  std::free(theirBlock);

  const std::string plain = scratch.File("check-plain.bin");
  WritePatternFile(plain, 5000);
  unsigned char key[32] = {};
  std::strncpy(reinterpret_cast<char*>(key), kKeyText, sizeof key);
  CRijndaelCipher cipher;
  cipher.SetKey(key, 32, kChainBlock, 16, 16, MODE_ECB, PAD_ZERO);
  cipher.EncryptFileStream(plain, ours);
  OpenSslEncryptFile(plain, theirs, kKeyText, true);
  same = same && ReadAll(ours) == ReadAll(theirs);
  cipher.DecryptFileStream(ours, scratch.File("check-vantry.out"));
  OpenSslDecryptFile(ours, scratch.File("check-openssl.out"), kKeyText, false);
  same = same &&
         ReadAll(scratch.File("check-vantry.out")) == ReadAll(scratch.File("check-openssl.out"));
  return same;
}

int Main(int argc, char** argv) {
  BenchOptions options;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--table-path") == 0) {
      options.tablePath = true;
    } else if (std::strcmp(argv[i], "--aes-ni-ecb") == 0) {
      options.aesNiEcb = true;
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
    return 1;
  }

  // Decided at keying: every cipher the cases key from here on takes the tables.
  ForceTablePathForTesting(options.tablePath);
  ForceEcbKernelForTesting(options.aesNiEcb, EcbKernel::kAesNi);
  ScratchDir scratch;
  options.scratchDir = scratch.path();
  if (!TwinsMatchVantry(scratch)) {
    std::cerr << "vantry_bench: the OpenSSL twins do not produce Vantry's files; no figures\n";
    return 1;
  }

  const char* cap = std::getenv("OPENSSL_ia32cap");
  std::cout << "Vantry block path for 16-byte blocks: "
            << (options.tablePath || !aes_ni::Available() ? "lookup tables" : "AES-NI")
            << "; ECB kernel: "
            << (SelectedEcbKernel() == EcbKernel::kVaes512   ? "VAES 512-bit"
                : SelectedEcbKernel() == EcbKernel::kVaes256 ? "VAES 256-bit"
                                                             : "AES-NI")
            << "\n"
            << "OPENSSL_ia32cap: " << (cap != nullptr ? cap : "(not set: OpenSSL uses AES-NI)")
            << "\nFiles in " << scratch.path() << "\n";

  RatioReporter reporter;
  RegisterCipherBenchmarks(reporter, options);
  RegisterShaBenchmarks(reporter);
  RegisterFileBenchmarks(reporter, options);
  RegisterCoreBenchmarks();
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const int missed = reporter.PrintSummary(std::cout);
  std::cout << (missed == 0 ? "All targets met.\n"
                            : std::to_string(missed) + " target(s) missed.\n");
  return 0;
}

}  // namespace
}  // namespace vantry::bench

int main(int argc, char** argv) { return vantry::bench::Main(argc, argv); }
