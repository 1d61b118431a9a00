// Sealing and unsealing in memory: the known-answer files made from the format's document by an
// independent implementation, round trips at every segment boundary through both the pulling
// and the pushing sealer, and the one table of damaged, cut, reordered and wrongly keyed files
// with what each reports and what reaches the output before it.
#include <gtest/gtest.h>

#include <fstream>
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
    const Bytes pulled = Sealed(key, plain);
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
    EXPECT_EQ(pulled.size(), 107 + size + 16 * segments) << size;
    EXPECT_EQ(pushed.written.size(), pulled.size()) << size;
    for (const Bytes& file : {pulled, pushed.written}) {
      MemoryReader input(file, 65553);
      MemoryWriter output;
      UnsealStream(key, input, "f", output);
      EXPECT_EQ(output.written, plain) << size;
    }
  }
}

// Raw-key header: 12 fixed bytes, salt at 12, prefix at 28, key check at 35, digest at 67, MAC
// at 75, payload at 107; three full segments of 65,552 bytes.
constexpr std::size_t kSeg = 65552;
std::size_t SegmentAt(int n) { return 107 + kSeg * static_cast<std::size_t>(n - 1); }

Bytes Flip(Bytes b, std::size_t at) {
  b[at] ^= 0x01;
  return b;
}
Bytes Set(Bytes b, std::size_t at, unsigned char value) {
  b[at] = value;
  return b;
}
Bytes Cut(const Bytes& b, std::size_t size) { return Bytes(b.begin(), b.begin() + size); }
Bytes Segment(const Bytes& b, int n) {
  return Bytes(b.begin() + SegmentAt(n), b.begin() + SegmentAt(n) + kSeg);
}
Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) {
    out.insert(out.end(), p.begin(), p.end());
  }
  return out;
}
// A header field changed with its keyless digest made right again, as an attacker would.
Bytes ForgeHeader(Bytes b, std::size_t at, std::size_t digestAt = 67) {
  b[at] ^= 0x01;
  unsigned char digest[32];
  platform::sealing::Sha256(b.data(), digestAt, digest);
  std::copy_n(digest, 8, b.begin() + static_cast<std::ptrdiff_t>(digestAt));
  return b;
}

TEST(SealedStreamTest, EachDamageIsReportedAndNothingUnverifiedIsWritten) {
  using K = SealedError::Kind;
  const SealedKey key = RawKey(1);
  const Bytes plain = Pattern(3 * 65536);
  const Bytes f = Sealed(key, plain);
  const Bytes header = Cut(f, 107);
  const Bytes looksProtected(32 + 48, 0x5A);  // a key check digest, then three blocks
  const struct {
    const char* name;
    Bytes file;
    SealedKey key;
    K kind;
    std::string message;
    std::size_t releasedSegments;
  } cases[] = {
      {"magic", Flip(f, 0), key, K::kNotSealed, "f is not a sealed file", 0},
      {"protected file", looksProtected, key, K::kNotSealed, "f is not a sealed file", 0},
      {"empty file", {}, key, K::kNotSealed, "f is not a sealed file", 0},
      {"version", Flip(f, 8), key, K::kUnsupportedVersion,
       "f says it is a sealed file of version 0", 0},
      {"kind unknown", Set(f, 9, 9), key, K::kUnsupportedVersion, "key kind 9", 0},
      {"kind", Flip(f, 9), key, K::kDamaged, "parameter length is wrong", 0},
      {"parameter length", Flip(f, 11), key, K::kDamaged, "parameter length is wrong", 0},
      {"salt", Flip(f, 12), key, K::kDamaged, "header does not match its check", 0},
      {"nonce prefix", Flip(f, 30), key, K::kDamaged, "header does not match its check", 0},
      {"key check", Flip(f, 40), key, K::kDamaged, "header does not match its check", 0},
      {"digest", Flip(f, 70), key, K::kDamaged, "header does not match its check", 0},
      {"MAC", Flip(f, 100), key, K::kDamaged, "header does not authenticate", 0},
      {"forged salt", ForgeHeader(f, 12), key, K::kWrongKey, "the key does not match f", 0},
      {"forged prefix", ForgeHeader(f, 28), key, K::kDamaged, "header does not authenticate", 0},
      // 17,377,216 iterations asked for: refused before any PBKDF2 work.
      {"hostile PBKDF2 cost",
       ForgeHeader(ReadFile(std::string(VANTRY_TEST_DATA_DIR) + "/sealed/passphrase-100.vts"), 12,
                   71),
       SealedKey::Passphrase("correct horse battery staple"), K::kDamaged,
       "asks for 17377216 PBKDF2 iterations", 0},
      {"cut in header", Cut(f, 50), key, K::kTruncated, "ends inside its header", 0},
      {"header only", header, key, K::kTruncated, "ends after its header", 0},
      {"segment 1 text", Flip(f, SegmentAt(1) + 5), key, K::kDamaged,
       "damaged at segment 1, byte offset 107", 0},
      {"segment 1 tag", Flip(f, SegmentAt(2) - 1), key, K::kDamaged, "segment 1, byte offset", 0},
      {"segment 2 text", Flip(f, SegmentAt(2)), key, K::kDamaged,
       "damaged at segment 2, byte offset 65659", 1},
      {"segment 2 tag", Flip(f, SegmentAt(3) - 16), key, K::kDamaged, "segment 2,", 1},
      {"segment 3 text", Flip(f, SegmentAt(3) + 65535), key, K::kDamaged,
       "damaged at segment 3, byte offset 131211", 2},
      {"segment 3 tag", Flip(f, f.size() - 1), key, K::kDamaged, "segment 3,", 2},
      {"swapped", Join({header, Segment(f, 2), Segment(f, 1), Segment(f, 3)}), key, K::kDamaged,
       "segment 1,", 0},
      {"dropped middle", Join({header, Segment(f, 1), Segment(f, 3)}), key, K::kDamaged,
       "segment 2,", 1},
      {"dropped last", Cut(f, SegmentAt(3)), key, K::kTruncated,
       "truncated: it ends after segment 2, before its last segment", 1},
      {"cut at first boundary", Cut(f, SegmentAt(2)), key, K::kTruncated, "after segment 1", 0},
      {"cut inside segment 3", Cut(f, SegmentAt(3) + 1000), key, K::kDamaged, "segment 3,", 2},
      {"cut inside a tag", Cut(f, f.size() - 3), key, K::kDamaged, "segment 3,", 2},
      {"duplicated", Join({header, Segment(f, 1), Segment(f, 1), Segment(f, 2), Segment(f, 3)}),
       key, K::kDamaged, "segment 2,", 1},
      {"appended byte", Join({f, {0}}), key, K::kDamaged,
       "data follows its last segment at byte offset 196763", 2},
      {"appended segment", Join({f, Segment(f, 3)}), key, K::kDamaged, "data follows", 2},
      {"other file's segment", Join({header, Segment(Sealed(key, plain), 1)}), key, K::kDamaged,
       "segment 1,", 0},
      {"wrong key", f, RawKey(2), K::kWrongKey, "the key does not match f", 0},
      {"wrong kind", f, SealedKey::Passphrase("x"), K::kWrongKind,
       "f was sealed with a raw key, not a passphrase", 0},
  };
  for (const auto& c : cases) {
    MemoryReader input(c.file, 4096);
    MemoryWriter output;
    try {
      UnsealStream(c.key, input, "f", output);
      ADD_FAILURE() << c.name << ": unsealed";
    } catch (const SealedError& e) {
      EXPECT_EQ(e.kind(), c.kind) << c.name << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
          << c.name << ": " << e.what();
    }
    // Only the segments before the damage, each verified whole, reached the output.
    EXPECT_EQ(output.written, Cut(plain, 65536 * c.releasedSegments)) << c.name;
  }
}

}  // namespace
}  // namespace vantry::test
