#include "support/bad_files.h"

#include <random>

#include "support/messages.h"

namespace vantry::test {
namespace {

Bytes Cut(const Bytes& file, std::size_t n) { return Bytes(file.begin(), file.begin() + n); }

Bytes Changed(Bytes file, std::size_t at, unsigned char bits) {
  file.at(at) ^= bits;
  return file;
}

Bytes Longer(Bytes file) {
  file.push_back(0);
  return file;
}

Bytes PlainBytes() {
  std::mt19937_64 rng(3 + 1040);  // PatternBytes(1040, 3) of the files tests
  return RandomBytes(rng, 1040);
}

// g: the good file, o: the same data under another key.
#define VANTRY_BAD(bytes) [](const Bytes& g, const Bytes& o) { return (void)g, (void)o, bytes; }

}  // namespace

const std::vector<BadFile>& BadFiles() {
  using F = BadFileFailure;
  static const std::vector<BadFile> files = {
      {"Empty", VANTRY_BAD(Bytes{}), F::kWrongKey},
      {"OneByte", VANTRY_BAD(Cut(g, 1)), F::kWrongKey},
      {"HalfAHeaderOfOtherBytes", VANTRY_BAD(Bytes(16, 0x11)), F::kWrongKey},
      // Every byte it has is right, but a header needs 32.
      {"HeaderLessOneByte", VANTRY_BAD(Cut(g, 31)), F::kWrongKey},
      {"OtherKey", VANTRY_BAD(o), F::kWrongKey},
      {"FirstHeaderByteChanged", VANTRY_BAD(Changed(g, 0, 1)), F::kWrongKey},
      {"LastHeaderByteChanged", VANTRY_BAD(Changed(g, 31, 0x80)), F::kWrongKey},
      {"PlainBytes", VANTRY_BAD(PlainBytes()), F::kWrongKey},
      {"PlainText", VANTRY_BAD(Bytes(64, 'x')), F::kWrongKey},
      {"HeaderAndOneByte", VANTRY_BAD(Cut(g, 33)), F::kBlockSize},
      {"HeaderAndTwentyBytes", VANTRY_BAD(Cut(g, 52)), F::kBlockSize},
      {"ChunkAndFifteen", VANTRY_BAD(Cut(g, 32 + 384 + 15)), F::kBlockSize},
      {"OneByteShort", VANTRY_BAD(Cut(g, g.size() - 1)), F::kBlockSize},
      {"OneByteLong", VANTRY_BAD(Longer(g)), F::kBlockSize},
  };
  return files;
}

std::string ExpectedMessage(const BadFile& file, const std::string& fileName) {
  return file.failure == BadFileFailure::kBlockSize ? kIllegalBlockSizeText
                                                    : CannotDecrypt(fileName);
}

std::string BadFileName(const ::testing::TestParamInfo<BadFile>& info) { return info.param.name; }

}  // namespace vantry::test
