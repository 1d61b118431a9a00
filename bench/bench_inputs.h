// Inputs shared by the benchmark programs: one key, one chain block and reproducible data, so
// that the library and OpenSSL always work on the same bytes; and a scratch folder for files.
#ifndef VANTRY_BENCH_BENCH_INPUTS_H_
#define VANTRY_BENCH_BENCH_INPUTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantry::bench {

inline constexpr std::size_t kKiB = 1024;
inline constexpr std::size_t kMiB = 1024 * kKiB;
inline constexpr std::size_t kGiB = 1024 * kMiB;

// The key text of the file benchmarks. Only its first 16 characters key the cipher, as in
// every protected file.
inline constexpr const char* kKeyText = "benchmark key text of Vantry";
// 32 bytes of key material for the cipher benchmarks (the first 16, 24 or 32 are used).
extern const unsigned char kKeyBytes[32];
// The chain block of the chaining modes.
extern const unsigned char kChainBlock[32];

// n bytes of a fixed pseudo-random sequence.
std::vector<unsigned char> PatternBytes(std::size_t n, std::uint64_t seed = 1);

// Writes a file of n pattern bytes a mebibyte at a time, so that making a large input does
// not make the writing process large. Throws std::runtime_error on failure.
void WritePatternFile(const std::string& path, std::uint64_t n);

// Creates the folder path holding count empty files. Throws std::runtime_error on failure.
void MakeFolderOfEmptyFiles(const std::string& path, int count);

// A fresh folder for the benchmark files, removed with its content on destruction. It lies
// under $VANTRY_BENCH_DIR when that is set, else under the system's temporary folder: put it
// on the disk whose speed is to be measured.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string File(const std::string& name) const { return m_path + "/" + name; }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

}  // namespace vantry::bench

#endif  // VANTRY_BENCH_BENCH_INPUTS_H_
