// Memory streams and fixed keys for the sealed files' tests.
#ifndef VANTRY_SEALED_SEALED_TEST_UTIL_H_
#define VANTRY_SEALED_SEALED_TEST_UTIL_H_

#include <algorithm>
#include <cstdint>
#include <string>

#include "sealed/sealer.h"
#include "support/test_support.h"
#include "vantry/sealed.h"

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

inline Bytes Pattern(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) {
    b[i] = static_cast<unsigned char>(i % 251);
  }
  return b;
}

inline SealedKey RawKey(unsigned char fill) {
  const Bytes key(32, fill);
  return SealedKey::Raw(key.data(), key.size());
}

inline Bytes Sealed(const SealedKey& key, const Bytes& plain,
                    const sealed::FixedRandomness* fixed = nullptr) {
  MemoryReader input(plain, 1000);
  MemoryWriter output;
  sealed::SealStreamWith(key, input, output, fixed);
  return output.written;
}

}  // namespace vantry::test

#endif  // VANTRY_SEALED_SEALED_TEST_UTIL_H_
