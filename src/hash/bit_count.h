// The running message length of CSHA, kept in bits as two 32-bit words so that the count (and
// the padding that ends with it) stays exact past 4 GiB of input on every platform.
#ifndef VANTRY_HASH_BIT_COUNT_H_
#define VANTRY_HASH_BIT_COUNT_H_

#include <cstdint>

namespace vantry {

// Adds iLen bytes (iLen >= 0) to auiBitCount: [0] the low 32 bits, [1] the high 32 bits.
// iLen * 8 needs 34 bits: its low 32 bits go into the low word, carrying into the high word
// when that wraps, and the 3 bits shifted out on top (iLen >> 29) go straight into the high word.
inline void AddBytesToBitCount(std::uint32_t (&auiBitCount)[2], std::int32_t iLen) noexcept {
  const std::uint32_t uiLen = static_cast<std::uint32_t>(iLen);
  const std::uint32_t uiLowBits = uiLen << 3;
  auiBitCount[0] += uiLowBits;
  if (auiBitCount[0] < uiLowBits) {
    ++auiBitCount[1];
  }
  auiBitCount[1] += uiLen >> 29;
}

}  // namespace vantry

#endif  // VANTRY_HASH_BIT_COUNT_H_
