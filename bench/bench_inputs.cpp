#include "bench_inputs.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>

namespace vantry::bench {
namespace fs = std::filesystem;

const unsigned char kKeyBytes[32] = {
    0x60, 0x3d, 0xeb, 0x10, 0x15, 0xca, 0x71, 0xbe, 0x2b, 0x73, 0xae, 0xf0, 0x85, 0x7d, 0x77, 0x81,
    0x1f, 0x35, 0x2c, 0x07, 0x3b, 0x61, 0x08, 0xd7, 0x2d, 0x98, 0x10, 0xa3, 0x09, 0x14, 0xdf, 0xf4};
const unsigned char kChainBlock[32] = {
    0x7e, 0x1b, 0xc4, 0x52, 0x09, 0xa8, 0x3f, 0xd6, 0x61, 0x2c, 0x95, 0xe0, 0x4b, 0x78, 0xd3, 0x17,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f};

std::vector<unsigned char> PatternBytes(std::size_t n, std::uint64_t seed) {
  std::vector<unsigned char> bytes(n);
  std::mt19937_64 rng(seed);
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word = rng();
    for (int j = 0; j < 8; ++j, word >>= 8) {
      bytes[i + j] = static_cast<unsigned char>(word);
    }
  }
  for (; i < n; ++i) {
    bytes[i] = static_cast<unsigned char>(rng());
  }
  return bytes;
}

void WritePatternFile(const std::string& path, std::uint64_t n) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                       &std::fclose);
  if (!file) {
    throw std::runtime_error("cannot create " + path);
  }
  const std::vector<unsigned char> chunk = PatternBytes(kMiB, n);
  while (n > 0) {
    const std::size_t piece = n < chunk.size() ? static_cast<std::size_t>(n) : chunk.size();
    if (std::fwrite(chunk.data(), 1, piece, file.get()) != piece) {
      throw std::runtime_error("cannot write " + path);
    }
    n -= piece;
  }
  if (std::fclose(file.release()) != 0) {
    throw std::runtime_error("cannot close " + path);
  }
}

void MakeFolderOfEmptyFiles(const std::string& path, int count) {
  fs::create_directories(path);
  for (int i = 0; i < count; ++i) {
    std::FILE* file = std::fopen((path + "/other-" + std::to_string(i) + ".vty").c_str(), "wb");
    if (file == nullptr || std::fclose(file) != 0) {
      throw std::runtime_error("cannot create a file in " + path);
    }
  }
}

ScratchDir::ScratchDir() {
  const char* base = std::getenv("VANTRY_BENCH_DIR");
  const fs::path parent =
      base != nullptr && *base != '\0' ? fs::path(base) : fs::temp_directory_path();
  std::random_device device;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = parent / ("vantry-bench-" + std::to_string(device()));
    std::error_code ec;
    if (fs::create_directories(candidate, ec)) {
      m_path = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a scratch folder under " + parent.string());
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(m_path, ec);
}

}  // namespace vantry::bench
