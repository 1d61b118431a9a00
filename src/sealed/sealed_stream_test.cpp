// Sealing and unsealing in memory: the known-answer files made from the format's document by an
// independent implementation, round trips at every segment boundary through both the pulling
// and the pushing sealer, and the generated set of damaged, cut, reordered and wrongly keyed
// files with what each reports and what reaches the output before it.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "sealed/sealed_test_util.h"

namespace vantry::test {
namespace {

TEST(SealedStreamTest, KnownAnswerFilesAreSealedAndUnsealedExactly) {
  const std::string folder = std::string(VANTRY_TEST_DATA_DIR) + "/sealed/";
  std::ifstream list(folder + "vectors.txt");
  std::string line;
  int count = 0;
  while (std::getline(list, line)) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    std::istringstream fields(line);
    std::string name, key, salt, prefix;
    int kind = 0;
    std::uint32_t iterations = 0;
    std::size_t size = 0;
    fields >> name >> kind >> key >> salt >> prefix >> iterations >> size;
    const Bytes keyBytes = FromHex(key), saltBytes = FromHex(salt), prefixBytes = FromHex(prefix);
    const SealedKey sealedKey =
        kind == 1 ? SealedKey::Passphrase(std::string(keyBytes.begin(), keyBytes.end()), iterations)
                  : SealedKey::Raw(keyBytes.data(), keyBytes.size());
    const sealed::FixedRandomness fixed{saltBytes.data(), prefixBytes.data()};
    const Bytes expected = ReadFile(folder + name);
    EXPECT_EQ(ToHex(Sealed(sealedKey, Pattern(size), &fixed)), ToHex(expected)) << name;
    MemoryReader input(expected, 7);
    MemoryWriter output;
    UnsealStream(sealedKey, input, name, output);
    EXPECT_EQ(output.written, Pattern(size)) << name;
    ++count;
  }
  EXPECT_EQ(count, 5);
}

TEST(SealedStreamTest, EveryBoundaryRoundTripsThroughPullAndPush) {
  const SealedKey key = RawKey(7);
  for (std::size_t size : {0, 1, 15, 16, 17, 65535, 65536, 65537, 131072, 196609}) {
    const Bytes plain = Pattern(size);
    MemoryReader source(plain, 1000);
    MemoryWriter sealedOutput;
    SealStream(key, source, sealedOutput);
    const Bytes& pulled = sealedOutput.written;
    // The pushing sealer, fed in uneven pieces, writes the same layout.
    MemoryWriter pushed;
    {
      SealingWriter writer(key, pushed);
      for (std::size_t at = 0; at < size; at += 40000) {
        writer.Write(plain.data() + at, std::min<std::size_t>(40000, size - at));
      }
      writer.Commit();
    }
    EXPECT_TRUE(pushed.committed);
    const std::size_t segments = size == 0 ? 1 : (size + 65535) / 65536;
    EXPECT_EQ(pulled.size(), 172 + size + 16 * segments) << size;
    EXPECT_EQ(pushed.written.size(), pulled.size()) << size;
    for (const Bytes& file : {pulled, pushed.written}) {
      MemoryReader input(file, 65553);
      MemoryWriter output;
      UnsealStream(key, input, "f", output);
      EXPECT_EQ(output.written, plain) << size;
    }
  }
}

// One damaged file per case, made by the independent implementation
// (tests/sealed/make_damaged_vectors.py), each with the kind and message it must report and
// how much plain text may reach the output before it: only the segments before the damage,
// each verified whole.
TEST(SealedStreamTest, EachDamagedVectorIsReportedAndNothingUnverifiedIsWritten) {
  using K = SealedError::Kind;
  const std::map<std::string, K> kinds = {
      {"NotSealed", K::kNotSealed}, {"UnsupportedVersion", K::kUnsupportedVersion},
      {"Damaged", K::kDamaged},     {"Truncated", K::kTruncated},
      {"WrongKey", K::kWrongKey},   {"WrongKind", K::kWrongKind}};
  const std::string folder = std::string(VANTRY_TEST_DATA_DIR) + "/sealed/damaged/";
  std::ifstream manifest(folder + "manifest.txt");
  std::string line;
  int count = 0;
  while (std::getline(manifest, line)) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    std::istringstream fields(line);
    std::string name, key, kind, message;
    std::size_t released = 0;
    fields >> name >> key >> kind >> released >> std::ws;
    std::getline(fields, message);
    const Bytes keyBytes = FromHex(key.substr(key.find(':') + 1));
    const SealedKey sealedKey =
        key.rfind("raw:", 0) == 0
            ? RawKey(keyBytes.at(0))
            : SealedKey::Passphrase(std::string(keyBytes.begin(), keyBytes.end()));
    MemoryReader input(ReadFile(folder + name), 4096);
    MemoryWriter output;
    try {
      UnsealStream(sealedKey, input, "f", output);
      ADD_FAILURE() << name << ": unsealed";
    } catch (const SealedError& e) {
      EXPECT_EQ(e.kind(), kinds.at(kind)) << name << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << name << ": " << e.what();
    }
    EXPECT_EQ(output.written, Pattern(released)) << name;
    ++count;
  }
  EXPECT_EQ(count, 35);
}

}  // namespace
}  // namespace vantry::test
