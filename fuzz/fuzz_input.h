// Reads typed values off the front of a fuzzer's input. Running out of bytes is not an error:
// every read then yields zeros, so a short input still drives a complete, if dull, run.
#ifndef VANTRY_FUZZ_FUZZ_INPUT_H_
#define VANTRY_FUZZ_FUZZ_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vantry::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

  std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }
  std::int32_t I32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      v |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    }
    return static_cast<std::int32_t>(v);
  }
  // Up to n bytes, fewer when the input ends first.
  std::vector<std::uint8_t> Take(std::size_t n) {
    const std::size_t k = n < Left() ? n : Left();
    std::vector<std::uint8_t> out(m_data + m_pos, m_data + m_pos + k);
    m_pos += k;
    return out;
  }
  std::vector<std::uint8_t> Rest() { return Take(Left()); }
  std::size_t Left() const { return m_size - m_pos; }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
};

// A broken invariant: print why and abort, which libFuzzer records as a crash with the input.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

inline void Check(bool condition, const char* what) {
  if (!condition) {
    Fail(what);
  }
}

}  // namespace vantry::fuzz

#endif  // VANTRY_FUZZ_FUZZ_INPUT_H_
