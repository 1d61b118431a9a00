#include "support/test_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace vantry::test {
namespace fs = std::filesystem;

Bytes FromHex(const std::string& hex) {
  if (hex.size() % 2 != 0) {
    throw std::invalid_argument("odd hex length: " + hex);
  }
  Bytes out(hex.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<unsigned char>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  }
  return out;
}

std::string ToHex(const unsigned char* p, std::size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    s += kDigits[p[i] >> 4];
    s += kDigits[p[i] & 15];
  }
  return s;
}

std::string DataPath(const std::string& relative) {
  return std::string(VANTRY_TEST_DATA_DIR) + "/" + relative;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error("test: cannot read " + path);
  }
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    throw std::runtime_error("test: cannot write " + path);
  }
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

TempDir::TempDir() {
  static std::random_device device;
  std::mt19937_64 rng(device());
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() / ("vantry-test-" + std::to_string(rng()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      m_path = candidate.string();
      return;
    }
  }
  throw std::runtime_error("test: cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  // A test may have taken write permission away; give it back so the folder can go.
  fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(m_path, ec);
}

std::vector<std::string> TempDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(m_path)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<RspRecord> ReadRsp(const std::string& path, const std::string& startKey) {
  std::ifstream in(path);
  if (!in) {
    throw std::runtime_error("test: cannot read " + path);
  }
  std::vector<RspRecord> records;
  std::string section;
  std::string line;
  while (std::getline(in, line)) {
    line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
    if (line.empty() || line[0] == '#') {
      continue;
    }
    if (line[0] == '[') {
      std::string inner = line.substr(1, line.find(']') - 1);
      if (inner == "ENCRYPT" || inner == "DECRYPT") {
        section = inner;
      }
      continue;
    }
    auto eq = line.find('=');
    if (eq == std::string::npos) {
      continue;
    }
    auto trim = [](std::string s) {
      s.erase(0, s.find_first_not_of(" \t"));
      s.erase(s.find_last_not_of(" \t") + 1);
      return s;
    };
    std::string key = trim(line.substr(0, eq));
    std::string value = trim(line.substr(eq + 1));
    if (key == startKey || records.empty()) {
      records.push_back(RspRecord{section, {}});
    }
    records.back().fields[key] = value;
  }
  return records;
}

Bytes RandomBytes(std::mt19937_64& rng, std::size_t n) {
  Bytes out(n);
  for (auto& b : out) {
    b = static_cast<unsigned char>(rng());
  }
  return out;
}

}  // namespace vantry::test
