#include "support/bad_files.h"

#include <random>

namespace vantry::test {
namespace {

Bytes Cut(const Bytes& file, std::size_t n) { return Bytes(file.begin(), file.begin() + n); }

Bytes Flipped(Bytes file, std::size_t at, unsigned char bits) {
  file[at] ^= bits;
  return file;
}

}  // namespace

const std::vector<BadFile>& BadFiles() {
  using F = BadFileFailure;
  static const std::vector<BadFile> files = {
      {"Empty", [](const Bytes&, const Bytes&) { return Bytes{}; }, F::kWrongKey},
      {"OneByte", [](const Bytes& g, const Bytes&) { return Cut(g, 1); }, F::kWrongKey},
      {"HalfAHeaderOfOtherBytes", [](const Bytes&, const Bytes&) { return Bytes(16, 0x11); },
       F::kWrongKey},
      // Every byte it has is right, but a header needs 32.
      {"HeaderLessOneByte", [](const Bytes& g, const Bytes&) { return Cut(g, 31); }, F::kWrongKey},
      {"OtherKey", [](const Bytes&, const Bytes& o) { return o; }, F::kWrongKey},
      {"FirstHeaderByteChanged", [](const Bytes& g, const Bytes&) { return Flipped(g, 0, 1); },
       F::kWrongKey},
      {"LastHeaderByteChanged", [](const Bytes& g, const Bytes&) { return Flipped(g, 31, 0x80); },
       F::kWrongKey},
      {"PlainBytes",
       [](const Bytes&, const Bytes&) {
         std::mt19937_64 rng(3 + 1040);  // PatternBytes(1040, 3) of the files tests
         return RandomBytes(rng, 1040);
       },
       F::kWrongKey},
      {"PlainText", [](const Bytes&, const Bytes&) { return Bytes(64, 'x'); }, F::kWrongKey},
      {"HeaderAndOneByte", [](const Bytes& g, const Bytes&) { return Cut(g, 33); }, F::kBlockSize},
      {"HeaderAndTwentyBytes", [](const Bytes& g, const Bytes&) { return Cut(g, 52); },
       F::kBlockSize},
      {"ChunkAndFifteen", [](const Bytes& g, const Bytes&) { return Cut(g, 32 + 384 + 15); },
       F::kBlockSize},
      {"OneByteShort", [](const Bytes& g, const Bytes&) { return Cut(g, g.size() - 1); },
       F::kBlockSize},
      {"OneByteLong",
       [](const Bytes& g, const Bytes&) {
         Bytes b = g;
         b.push_back(0);
         return b;
       },
       F::kBlockSize},
  };
  return files;
}

}  // namespace vantry::test
