// Bytes in memory as a ByteReader and a ByteWriter, for tests of anything that streams.
#ifndef VANTRY_TESTS_SUPPORT_MEMORY_STREAMS_H_
#define VANTRY_TESTS_SUPPORT_MEMORY_STREAMS_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "support/test_support.h"
#include "vantry/streams.h"

namespace vantry::test {

// Hands out its bytes at most step at a time, as a pipe does.
class MemoryReader : public ByteReader {
 public:
  explicit MemoryReader(Bytes bytes, std::size_t step = SIZE_MAX)
      : m_bytes(std::move(bytes)), m_step(step) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    const std::size_t part = std::min({n, m_step, m_bytes.size() - m_at});
    std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at), part,
                static_cast<unsigned char*>(buffer));
    m_at += part;
    return part;
  }

 private:
  Bytes m_bytes;
  std::size_t m_step;
  std::size_t m_at = 0;
};

// Keeps what is written, and whether it was committed.
class MemoryWriter : public ByteWriter {
 public:
  void Write(const void* data, std::size_t n) override {
    const auto* bytes = static_cast<const unsigned char*>(data);
    written.insert(written.end(), bytes, bytes + n);
  }
  void Commit() override { committed = true; }
  Bytes written;
  bool committed = false;
};

}  // namespace vantry::test

#endif  // VANTRY_TESTS_SUPPORT_MEMORY_STREAMS_H_
