// Helpers shared by the tests.
#ifndef VANTRY_TESTS_SUPPORT_TEST_SUPPORT_H_
#define VANTRY_TESTS_SUPPORT_TEST_SUPPORT_H_

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace vantry::test {

using Bytes = std::vector<unsigned char>;

Bytes FromHex(const std::string& hex);
std::string ToHex(const unsigned char* p, std::size_t n);
inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }

// Path of a file under tests/data.
std::string DataPath(const std::string& relative);

Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);
bool FileExists(const std::string& path);

// A fresh folder under the system's temporary folder, removed with its content on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::string m_path;
};

// One record of a NIST CAVP response file: its fields (COUNT, KEY, IV, PLAINTEXT, ...) and the
// section it stands in ("ENCRYPT", "DECRYPT", or "" where the file has none).
struct RspRecord {
  std::string section;
  std::map<std::string, std::string> fields;
  const std::string& at(const std::string& key) const { return fields.at(key); }
  bool has(const std::string& key) const { return fields.count(key) != 0; }
};
// Records start at a line whose key is startKey (e.g. "COUNT", "Len").
std::vector<RspRecord> ReadRsp(const std::string& path, const std::string& startKey);

// Deterministic random bytes for tests.
Bytes RandomBytes(std::mt19937_64& rng, std::size_t n);

}  // namespace vantry::test

#endif  // VANTRY_TESTS_SUPPORT_TEST_SUPPORT_H_
