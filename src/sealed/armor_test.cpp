// The armor: base64 against RFC 4648's vectors, round trips at the line boundaries read a byte
// at a time, armored sealed files through unseal and rekey, and one table of hostile armor.
#include "sealed/armor.h"

#include <gtest/gtest.h>

#include <cstring>

#include "sealed/sealed_test_util.h"

namespace vantry::test {
namespace {

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }
Bytes FromText(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Armor(const Bytes& bytes) {
  MemoryWriter text;
  ArmoringWriter armoring(text);
  for (std::size_t at = 0; at < bytes.size(); at += 7) {
    armoring.Write(bytes.data() + at, std::min<std::size_t>(7, bytes.size() - at));
  }
  armoring.Commit();
  EXPECT_TRUE(text.committed);
  return text.written;
}

Bytes ArmoredSealed(const Bytes& plain) {
  MemoryReader source(plain);
  MemoryWriter binary;
  SealStream(RawKey(7), source, binary);
  return Armor(binary.written);
}

TEST(ArmorTest, Base64MatchesTheStandardsVectors) {
  // The base64 of each prefix of "foobar".
  const char* const vectors[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
  for (std::size_t size = 0; size < std::size(vectors); ++size) {
    const std::string plain("foobar", size);
    const char* encoded = vectors[size];
    std::string text(std::strlen(encoded), '?');
    sealed::EncodeBase64(reinterpret_cast<const unsigned char*>(plain.data()), size, text.data());
    EXPECT_EQ(text, encoded);
    unsigned char bytes[8];
    const long n = sealed::DecodeBase64(encoded, std::strlen(encoded), bytes);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(n)), plain);
  }
}

TEST(ArmorTest, EveryLineBoundaryRoundTripsReadAByteAtATime) {
  for (std::size_t size : {1, 2, 3, 46, 47, 48, 49, 96, 97, 4096}) {
    MemoryReader trickle(Armor(Pattern(size)), 1);
    sealed::SealedInput input(trickle, "f");
    Bytes back(size + 1);
    back.resize(input.ReadFull(back.data(), back.size()));
    EXPECT_EQ(back, Pattern(size)) << size;
  }
}

TEST(ArmorTest, ArmoredSealedFilesUnsealAndStayArmoredThroughRekey) {
  const Bytes plain = Pattern(2 * 65536 + 100);
  MemoryReader changing(ArmoredSealed(plain), 5000);
  MemoryWriter rekeyed;
  ChangeSealedSlots({RawKey(7)}, {1}, {RawKey(8)}, changing, "f", rekeyed);
  EXPECT_EQ(Text(rekeyed.written).rfind(sealed::kArmorBegin, 0), 0u);
  MemoryReader input(rekeyed.written, 3000);
  MemoryWriter output;
  UnsealStream(RawKey(8), input, "f", output);
  EXPECT_EQ(output.written, plain);
}

// Each way an armored file can differ from what the writer makes, with what it reports; none
// writes any data.
TEST(ArmorTest, HostileArmorIsRefusedSayingWhatAndWhere) {
  using K = SealedError::Kind;
  // Seven lines: the begin line, four of 64 characters, one of 24 ending in "==", the end line.
  const std::string good = Text(ArmoredSealed(Pattern(20)));
  ASSERT_EQ(good.size(), 35 + 4 * 65 + 25 + 33);
  const std::size_t line3 = good.find('\n', good.find('\n') + 1) + 1;
  const std::size_t pad = good.find("==");
  std::string noncanonical = good;
  // The digit before "==" is A, Q, g or w (its low 4 bits unused); the next letter sets one.
  noncanonical[pad - 1] += 1;
  const auto at = [](int line, const std::string& what) {
    return "f is damaged at line " + std::to_string(line) + " of its armor: " + what;
  };
  const auto cut = [](int line) {
    return "f is truncated: it ends at line " + std::to_string(line) +
           ", before its end line \"-----END VANTRY SEALED FILE-----\" (the copy was cut short)";
  };
  const std::string notCanonical =
      "its base64 is not canonical ('=' pads the last group only, and the bits it leaves over "
      "are zero)";
  const struct {
    const char* what;
    std::string text;
    K kind;
    std::string message;
  } cases[] = {
      {"no final newline", good.substr(0, good.size() - 1), K::kNotSealed, ""},
      {"another begin label", "-----BEGIN AGE ENCRYPTED FILE-----" + good.substr(good.find('\n')),
       K::kNotSealed,
       "f is not a sealed file: its first line is not \"-----BEGIN VANTRY SEALED FILE-----\""},
      {"another end label", good.substr(0, good.size() - 10) + "DATA-----\n", K::kDamaged,
       at(7, "it is not the end line \"-----END VANTRY SEALED FILE-----\"")},
      {"a 63-column line", good.substr(0, line3 - 2) + good.substr(line3 - 1), K::kDamaged,
       at(2, "it has 63 characters, and only the last line of base64 may have fewer than 64")},
      {"a 65-column line", good.substr(0, line3) + "A" + good.substr(line3), K::kDamaged,
       at(3, "it has more than 64 characters")},
      {"a space", good.substr(0, line3 + 9) + " " + good.substr(line3 + 10), K::kDamaged,
       at(3, "column 10 holds a byte that is not base64")},
      {"a base64url byte", good.substr(0, line3) + "_" + good.substr(line3 + 1), K::kDamaged,
       at(3, "column 1 holds a byte that is not base64")},
      {"a CR LF", good.substr(0, line3 - 1) + "\r" + good.substr(line3 - 1), K::kDamaged,
       at(2,
          "it ends in CR LF: a copy in text mode changed its line ends, and an armored sealed "
          "file's lines end in LF alone (dos2unix converts them back)")},
      {"padding inside", good.substr(0, line3) + "=" + good.substr(line3 + 1), K::kDamaged,
       at(3, notCanonical)},
      {"unused bits set", noncanonical, K::kDamaged, at(6, notCanonical)},
      {"a last line cut to 23", good.substr(0, pad - 1) + good.substr(pad), K::kDamaged,
       at(6, "its 23 characters are not whole groups of 4 base64 characters")},
      {"trailing garbage: a blank line after the end line", good + "\n", K::kDamaged,
       at(8, "something follows the end line")},
      {"no end line", good.substr(0, good.size() - 33), K::kTruncated, cut(6)},
      {"cut inside a line", good.substr(0, line3 + 30), K::kTruncated, cut(3)},
      {"an empty body", "-----BEGIN VANTRY SEALED FILE-----\n-----END VANTRY SEALED FILE-----\n",
       K::kDamaged, at(2, "there is no base64 between the begin and end lines")},
  };
  for (const auto& c : cases) {
    MemoryReader input(FromText(c.text), 10);
    MemoryWriter output;
    try {
      UnsealStream(RawKey(7), input, "f", output);
      EXPECT_EQ(c.message, "") << c.what;
      EXPECT_EQ(output.written, Pattern(20)) << c.what;
    } catch (const SealedError& e) {
      EXPECT_EQ(e.kind(), c.kind) << c.what;
      EXPECT_EQ(e.what(), c.message) << c.what;
      EXPECT_TRUE(output.written.empty()) << c.what;
    }
  }
}

}  // namespace
}  // namespace vantry::test
