// Unsealing hostile input. Mode 0 hands the input to UnsealStream as a whole file; mode 1 seals
// a plain text taken from the input, armors it when the mode byte's second bit is set, and then
// flips the bytes the input names. Either way the only acceptable outcomes are a SealedError, or
// success with exactly the plain text that was sealed: any other output would be a forgery, any
// other exception a hole in the checks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_input.h"
#include "sealed/sealer.h"
#include "vantry/sealed.h"

namespace {

using vantry::fuzz::Check;
using vantry::fuzz::FuzzInput;

class Reader : public vantry::ByteReader {
 public:
  Reader(const std::vector<std::uint8_t>& bytes, std::size_t step) : m_bytes(bytes), m_step(step) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    std::size_t part = n < m_step ? n : m_step;
    part = part < m_bytes.size() - m_at ? part : m_bytes.size() - m_at;
    std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at), part,
                static_cast<std::uint8_t*>(buffer));
    m_at += part;
    return part;
  }

 private:
  const std::vector<std::uint8_t>& m_bytes;
  std::size_t m_step;
  std::size_t m_at = 0;
};

class Writer : public vantry::ByteWriter {
 public:
  void Write(const void* data, std::size_t n) override {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + n);
  }
  void Commit() override {}
  std::vector<std::uint8_t> bytes;
};

// The key of the known-answer files in tests/data/sealed, so they serve as seeds.
const std::uint8_t kKey[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                               16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const vantry::SealedKey key = vantry::SealedKey::Raw(kKey, sizeof kKey);
  const std::uint8_t modeByte = in.Byte();
  const std::uint8_t mode = modeByte & 1;
  const bool armored = (modeByte & 2) != 0;
  const std::size_t step = 1 + in.U16();
  std::vector<std::uint8_t> file, plain;
  bool expectPlain = false;
  if (mode == 0) {
    file = in.Rest();
  } else {
    // Plain text up to a few segments long, repeated from the input's bytes.
    const std::size_t length = in.U16() * 3u;
    const std::vector<std::uint8_t> seed = in.Take(64);
    plain.resize(length);
    for (std::size_t i = 0; i < length; ++i) {
      plain[i] = seed.empty() ? 0 : seed[i % seed.size()];
    }
    Reader source(plain, SIZE_MAX);
    Writer sealed;
    const std::uint8_t salt[16] = {}, prefix[7] = {};
    const vantry::sealed::FixedRandomness fixed{salt, prefix};
    if (armored) {
      vantry::ArmoringWriter text(sealed);
      vantry::sealed::SealStreamWith(key, source, text, &fixed);
      text.Commit();
    } else {
      vantry::sealed::SealStreamWith(key, source, sealed, &fixed);
    }
    file = std::move(sealed.bytes);
    // Flips: (position, mask) pairs; a zero mask changes nothing.
    bool changed = false;
    while (in.Left() >= 5 && !file.empty()) {
      const std::size_t at = static_cast<std::uint32_t>(in.I32()) % file.size();
      const std::uint8_t mask = in.Byte();
      file[at] ^= mask;
      changed = changed || mask != 0;
    }
    expectPlain = !changed;
  }
  Reader reader(file, step);
  Writer out;
  try {
    vantry::UnsealStream(key, reader, "fuzz", out);
    if (mode == 1) {
      Check(out.bytes == plain, "a changed file unsealed to other data");
    }
  } catch (const vantry::SealedError&) {
    Check(!expectPlain, "an untouched file was refused");
  }
  return 0;
}
