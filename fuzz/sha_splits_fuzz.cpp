// CSHA fed the same message in arbitrary pieces must give the digest of the message fed whole,
// and refused calls (empty pieces, a digest of nothing) must not disturb the message under way.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "fuzz_input.h"
#include "vantry/sha.h"

using vantry::CSHA;
using vantry::fuzz::Check;
using vantry::fuzz::FuzzInput;

namespace {

bool Refused(CSHA& sha, const unsigned char* p, std::int32_t n) {
  try {
    sha.AddData(p, n);
  } catch (const std::runtime_error&) {
    return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  // The first bytes cut the message: each is a piece length (0 asks for a refused empty piece).
  const std::size_t pieceCount = in.Byte() % 17;
  std::vector<std::uint8_t> cuts = in.Take(pieceCount);
  const std::vector<std::uint8_t> message = in.Rest();
  const auto* bytes = message.data();
  const auto length = static_cast<std::int32_t>(message.size());

  unsigned char whole[32] = {};
  unsigned char pieces[32] = {};
  CSHA one;
  if (length == 0) {
    Check(Refused(one, bytes, 0), "an empty piece was accepted");
    bool refused = false;
    try {
      one.FinalDigest(whole);
    } catch (const std::runtime_error&) {
      refused = true;
    }
    Check(refused, "a digest of nothing was given");
    return 0;
  }
  one.AddData(bytes, length);
  one.FinalDigest(whole);

  // The same object twice: FinalDigest leaves it ready for the next message.
  CSHA split;
  for (int round = 0; round < 2; ++round) {
    std::int32_t pos = 0;
    for (std::uint8_t cut : cuts) {
      if (cut == 0) {
        Check(Refused(split, bytes + pos, 0), "an empty piece was accepted");
        Check(Refused(split, bytes + pos, -1), "a negative piece was accepted");
        continue;
      }
      const std::int32_t n = cut < length - pos ? cut : length - pos;
      if (n > 0) {
        split.AddData(bytes + pos, n);
        pos += n;
      }
    }
    if (pos < length) {
      split.AddData(bytes + pos, length - pos);
    }
    split.FinalDigest(pieces);
    for (int i = 0; i < 32; ++i) {
      Check(pieces[i] == whole[i], "pieces and whole message give different digests");
    }
  }
  return 0;
}
