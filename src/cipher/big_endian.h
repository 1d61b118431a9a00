// Four bytes as one 32-bit word, first byte most significant, whatever the processor's order:
// round keys, state columns and the constant tables all agree on this layout.
#ifndef VANTRY_CIPHER_BIG_ENDIAN_H_
#define VANTRY_CIPHER_BIG_ENDIAN_H_

#include <cstdint>

namespace vantry {

inline std::uint32_t LoadBigEndian32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

inline void StoreBigEndian32(std::uint32_t w, unsigned char* p) {
  p[0] = static_cast<unsigned char>(w >> 24);
  p[1] = static_cast<unsigned char>(w >> 16);
  p[2] = static_cast<unsigned char>(w >> 8);
  p[3] = static_cast<unsigned char>(w);
}

}  // namespace vantry

#endif  // VANTRY_CIPHER_BIG_ENDIAN_H_
