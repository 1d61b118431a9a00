// Memory streams and fixed keys for the sealed files' tests.
#ifndef VANTRY_SEALED_SEALED_TEST_UTIL_H_
#define VANTRY_SEALED_SEALED_TEST_UTIL_H_

#include <algorithm>
#include <cstdint>
#include <string>

#include "sealed/sealer.h"
#include "support/memory_streams.h"
#include "support/test_support.h"
#include "vantry/sealed.h"

namespace vantry::test {

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
