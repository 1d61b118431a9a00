// vantry_peak_rss: the peak resident memory of one operation, each run in a child process of
// its own so that nothing else the program did counts.
//
//   vantry_peak_rss [--quick]
//
// Checks that EncryptFileStream holds fixed memory whatever the size of the file (1 GiB
// against 1 MiB, within 1 MiB), and that a load of an S-byte file needs at most 1.1 x S above
// the process's baseline (one copy of the file, not two). --quick uses 64 MiB instead of 1 GiB.
// Files go to $VANTRY_BENCH_DIR, else to the system's temporary folder.
//
// The child measures its own baseline (getrusage right before the operation) and the parent
// takes the child's lifetime peak from wait4, both as ru_maxrss (KiB on Linux). The parent
// stays small on purpose: a forked child starts with the parent's resident pages.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_inputs.h"
#include "vantry/rijndael_cipher.h"
#include "vantry/vantry.h"

namespace vantry::bench {
namespace {

struct Peak {
  long baselineKiB = 0;  // the child's own peak right before the operation
  long peakKiB = 0;      // the child's peak over its life
  long DeltaKiB() const { return peakKiB - baselineKiB; }
};

long SelfMaxRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Runs operation in a forked child, after warmUp when one is given; throws when either fails
// there. The baseline is taken after the warm-up.
Peak MeasureInChild(const std::function<void()>& operation,
                    const std::function<void()>& warmUp = {}) {
  int channel[2];
  if (pipe(channel) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t child = fork();
  if (child < 0) {
    throw std::runtime_error("fork failed");
  }
  if (child == 0) {
    close(channel[0]);
    long baseline = 0;
    int status = 0;
    try {
      if (warmUp) {
        warmUp();
      }
      baseline = SelfMaxRssKiB();
      operation();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child: %s\n", e.what());
      status = 1;
    }
    if (write(channel[1], &baseline, sizeof baseline) != sizeof baseline) {
      status = 1;
    }
    _exit(status);
  }
  close(channel[1]);
  Peak peak;
  if (read(channel[0], &peak.baselineKiB, sizeof peak.baselineKiB) != sizeof peak.baselineKiB) {
    peak.baselineKiB = -1;
  }
  close(channel[0]);
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      peak.baselineKiB < 0) {
    throw std::runtime_error("the measured operation failed in the child process");
  }
  peak.peakKiB = usage.ru_maxrss;
  return peak;
}

void KeyLikeTheEntryPoints(CRijndaelCipher& cipher) {
  unsigned char key[32] = {};
  std::strncpy(reinterpret_cast<char*>(key), kKeyText, sizeof key);
  cipher.SetKey(key, 32, kChainBlock, 16, 16, MODE_ECB, PAD_ZERO);
}

void Print(const std::string& what, const Peak& peak) {
  std::printf("%-44s baseline %8ld KiB  peak %8ld KiB  delta %8ld KiB\n", what.c_str(),
              peak.baselineKiB, peak.peakKiB, peak.DeltaKiB());
}

std::string SizeName(std::uint64_t n) {
  return n >= kGiB ? std::to_string(n / kGiB) + " GiB" : std::to_string(n / kMiB) + " MiB";
}

int Main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const std::uint64_t large = quick ? 64 * kMiB : kGiB;
  ScratchDir scratch;
  int missed = 0;

  // EncryptFileStream and DecryptFileStream: the same memory for 1 MiB and for the large file.
  // Both inputs are written first, so that every child starts from the same parent.
  const std::uint64_t sizes[] = {kMiB, large};
  for (std::uint64_t n : sizes) {
    WritePatternFile(scratch.File("plain-" + std::to_string(n)), n);
  }
  Print("a child that does nothing", MeasureInChild([] {}));
  long encryptDelta[2] = {};
  for (int i = 0; i < 2; ++i) {
    const std::uint64_t n = sizes[i];
    const std::string plain = scratch.File("plain-" + std::to_string(n));
    const std::string sealed = scratch.File("sealed-" + std::to_string(n));
    const std::string output = scratch.File("out-" + std::to_string(n));
    const Peak encrypt = MeasureInChild([&] {
      CRijndaelCipher cipher;
      KeyLikeTheEntryPoints(cipher);
      cipher.EncryptFileStream(plain, sealed);
    });
    Print("EncryptFileStream of " + SizeName(n), encrypt);
    Print("DecryptFileStream of " + SizeName(n), MeasureInChild([&] {
            CRijndaelCipher cipher;
            KeyLikeTheEntryPoints(cipher);
            cipher.DecryptFileStream(sealed, output);
          }));
    encryptDelta[i] = encrypt.DeltaKiB();
    std::remove(plain.c_str());
    std::remove(sealed.c_str());
    std::remove(output.c_str());
  }
  const long growth = encryptDelta[1] - encryptDelta[0];
  const bool flat = growth <= 1024;
  missed += flat ? 0 : 1;
  std::printf(
      "-> EncryptFileStream peak above baseline, %s minus 1 MiB: %ld KiB (target <= 1024 KiB): "
      "%s\n\n",
      SizeName(large).c_str(), growth, flat ? "met" : "MISSED");

  // LoadVantryWithKey2 of an S-byte file. The files are made by a child, so that the data never
  // lives in this process. The first load of a process also maps in the code and buffers of the
  // file streams, a fixed cost shown on its own; the target is judged after one small load,
  // from a process that has used the library before, as a host has.
  const std::string small = scratch.File("load-small.vty");
  auto save = [](const std::string& file, std::uint64_t n) {
    MeasureInChild([&] {
      const std::vector<unsigned char> bytes = PatternBytes(n);
      SaveVantryWithKey2(bytes.data(), static_cast<std::int32_t>(bytes.size()), file.c_str(),
                         kKeyText);
    });
  };
  auto load = [](const std::string& file, std::uint64_t s) {
    return [file, s] {
      std::int32_t length = 0;
      unsigned char* block = LoadVantryWithKey2(file.c_str(), &length, kKeyText);
      if (static_cast<std::uint64_t>(length) != s) {
        throw std::runtime_error("the load returned a wrong length");
      }
      FreeVantryBuffer(block);
    };
  };
  save(small, kKiB);
  Print("LoadVantryWithKey2 of 1 KiB + 32 B, cold", MeasureInChild(load(small, kKiB + 32)));
  for (std::uint64_t data : {16 * kMiB, 64 * kMiB, 256 * kMiB}) {
    const std::string file = scratch.File("load-" + std::to_string(data) + ".vty");
    save(file, data);
    const std::uint64_t s = data + 32;
    Print("LoadVantryWithKey2 of " + SizeName(s) + " + 32 B, cold", MeasureInChild(load(file, s)));
    const Peak warm = MeasureInChild(load(file, s), load(small, kKiB + 32));
    Print("LoadVantryWithKey2 of " + SizeName(s) + " + 32 B, warm", warm);
    const double ratio = static_cast<double>(warm.DeltaKiB()) * 1024.0 / static_cast<double>(s);
    const bool met = ratio <= 1.1;
    missed += met ? 0 : 1;
    std::printf("-> warm peak above baseline = %.3f x S (target <= 1.1): %s\n", ratio,
                met ? "met" : "MISSED");
    std::remove(file.c_str());
  }
  std::printf("\n%s\n", missed == 0
                            ? "All memory targets met."
                            : (std::to_string(missed) + " memory target(s) missed.").c_str());
  return 0;
}

}  // namespace
}  // namespace vantry::bench

int main(int argc, char** argv) {
  try {
    return vantry::bench::Main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantry_peak_rss: %s\n", e.what());
    return 1;
  }
}
