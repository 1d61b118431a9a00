// A private folder for the file-based fuzz targets, made once per process and removed at exit,
// so parallel fuzzing jobs never share or leave files.
#ifndef VANTRY_FUZZ_FUZZ_FILES_H_
#define VANTRY_FUZZ_FUZZ_FILES_H_

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace vantry::fuzz {

class FuzzFolder {
 public:
  static FuzzFolder& Get() {
    static FuzzFolder folder;
    return folder;
  }
  std::string File(const char* name) const { return (m_path / name).string(); }

  ~FuzzFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }

 private:
  FuzzFolder() {
    std::random_device random;
    m_path = std::filesystem::temp_directory_path() /
             ("vantry-fuzz-" + std::to_string(random()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(m_path);
  }
  std::filesystem::path m_path;
};

inline void WriteBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace vantry::fuzz

#endif  // VANTRY_FUZZ_FUZZ_FILES_H_
