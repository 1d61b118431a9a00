// Sealing and unsealing in memory: the known-answer files made from the format's document by an
// independent implementation, round trips at every segment boundary through both the pulling
// and the pushing sealer, and the generated set of damaged, cut, reordered and wrongly keyed
// files with what each reports and what reaches the output before it.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "sealed/sealed_test_util.h"
#include "sealed/segment_pipeline.h"

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
  const std::size_t run = sealed::kSegmentsPerRun * 65536;  // one run of the pipeline
  for (std::size_t size :
       {std::size_t{0}, std::size_t{1}, std::size_t{15}, std::size_t{16}, std::size_t{17},
        std::size_t{65535}, std::size_t{65536}, std::size_t{65537}, std::size_t{131072},
        std::size_t{196609}, run - 1, run, run + 1, 3 * run + 17}) {
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

// Damage where the pipeline hands runs of segments between its threads: at a run's first
// segment, inside a run, in the last segment, a cut and an append at a run's end. Each is
// reported, and the output holds exactly the segments before it, each verified whole.
TEST(SealedStreamTest, DamageAtARunBoundaryIsReportedAfterExactlyTheSegmentsBeforeIt) {
  using K = SealedError::Kind;
  const std::size_t run = sealed::kSegmentsPerRun, last = 2 * run + 4;
  const SealedKey key = RawKey(7);
  const Bytes whole = Sealed(key, Pattern((last - 1) * 65536 + 100));
  const std::size_t header = whole.size() - (last - 1) * 65536 - 100 - 16 * last;
  enum Change { kFlip, kCut, kAppend };
  const struct {
    Change change;
    std::size_t n;  // the segment changed, or the last one kept
    K kind;
    const char* message;  // followed by n, but for an append
    std::size_t released;
  } cases[] = {
      {kFlip, run + 1, K::kDamaged, "damaged at segment ", run},  // a run's first segment
      {kFlip, run + 3, K::kDamaged, "damaged at segment ", run + 2},
      {kFlip, last, K::kDamaged, "cut short or damaged at segment ", last - 1},
      {kCut, run, K::kTruncated, "ends after segment ", run - 1},  // at the first run's end
      {kCut, 2 * run, K::kTruncated, "ends after segment ", 2 * run - 1},
      {kAppend, 2 * run, K::kDamaged, "data follows its last segment", 2 * run - 1},
  };
  for (const auto& c : cases) {
    Bytes file = c.change == kAppend ? Sealed(key, Pattern(c.n * 65536)) : whole;
    if (c.change == kFlip) file[header + (c.n - 1) * 65552 + 5] ^= 1;
    if (c.change == kCut) file.resize(header + c.n * 65552);
    if (c.change == kAppend) file.push_back(0);
    const std::string message = c.message + (c.change == kAppend ? "" : std::to_string(c.n));
    MemoryReader input(file, 65553);
    MemoryWriter output;
    try {
      UnsealStream(key, input, "f", output);
      ADD_FAILURE() << message << ": unsealed";
    } catch (const SealedError& e) {
      EXPECT_EQ(e.kind(), c.kind) << e.what();
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
    EXPECT_EQ(output.written, Pattern(c.released * 65536)) << message;
  }
}

}  // namespace
}  // namespace vantry::test
