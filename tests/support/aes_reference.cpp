#include "support/aes_reference.h"

#include <stdexcept>

namespace vantry::test {

unsigned char GfMultiply(unsigned char a, unsigned char b) {
  unsigned char product = 0;
  while (b != 0) {
    if (b & 1) {
      product ^= a;
    }
    a = static_cast<unsigned char>((a << 1) ^ ((a & 0x80) ? 0x1b : 0));
    b >>= 1;
  }
  return product;
}

unsigned char ReferenceSbox(unsigned char x) {
  unsigned char inverse = 0;
  for (int candidate = 1; candidate < 256 && x != 0; ++candidate) {
    if (GfMultiply(x, static_cast<unsigned char>(candidate)) == 1) {
      inverse = static_cast<unsigned char>(candidate);
      break;
    }
  }
  unsigned char result = 0x63;
  for (int shift = 0; shift < 5; ++shift) {
    result ^= static_cast<unsigned char>((inverse << shift) | (inverse >> (8 - shift)));
  }
  return result;
}

std::uint32_t ReferenceInvMixColumn(std::uint32_t column) {
  const unsigned char b[4] = {
      static_cast<unsigned char>(column >> 24), static_cast<unsigned char>(column >> 16),
      static_cast<unsigned char>(column >> 8), static_cast<unsigned char>(column)};
  std::uint32_t mixed = 0;
  for (int row = 0; row < 4; ++row) {
    const unsigned char v = GfMultiply(b[row], 0x0e) ^ GfMultiply(b[(row + 1) % 4], 0x0b) ^
                            GfMultiply(b[(row + 2) % 4], 0x0d) ^ GfMultiply(b[(row + 3) % 4], 0x09);
    mixed |= std::uint32_t{v} << (24 - 8 * row);
  }
  return mixed;
}

std::vector<std::uint32_t> ReferenceKeyExpansion(const std::vector<unsigned char>& key) {
  if (key.size() != 16 && key.size() != 24 && key.size() != 32) {
    throw std::invalid_argument("reference key expansion: a key of 16, 24 or 32 bytes");
  }
  const int nk = static_cast<int>(key.size() / 4);
  const int total = 4 * (nk + 7);
  auto subWord = [](std::uint32_t w) {
    return std::uint32_t{ReferenceSbox(static_cast<unsigned char>(w >> 24))} << 24 |
           std::uint32_t{ReferenceSbox(static_cast<unsigned char>(w >> 16))} << 16 |
           std::uint32_t{ReferenceSbox(static_cast<unsigned char>(w >> 8))} << 8 |
           ReferenceSbox(static_cast<unsigned char>(w));
  };
  std::vector<std::uint32_t> w(static_cast<std::size_t>(total));
  unsigned char rcon = 1;
  for (int i = 0; i < total; ++i) {
    if (i < nk) {
      w[i] = std::uint32_t{key[4 * i]} << 24 | std::uint32_t{key[4 * i + 1]} << 16 |
             std::uint32_t{key[4 * i + 2]} << 8 | key[4 * i + 3];
      continue;
    }
    std::uint32_t temp = w[i - 1];
    if (i % nk == 0) {
      temp = subWord(temp << 8 | temp >> 24) ^ (std::uint32_t{rcon} << 24);
      rcon = GfMultiply(rcon, 2);
    } else if (nk > 6 && i % nk == 4) {
      temp = subWord(temp);
    }
    w[i] = w[i - nk] ^ temp;
  }
  return w;
}

std::vector<unsigned char> ReferenceRoundKeyBytes(const std::vector<unsigned char>& key) {
  std::vector<std::uint32_t> words = ReferenceKeyExpansion(key);
  std::vector<unsigned char> bytes;
  bytes.reserve(4 * words.size());
  for (std::uint32_t word : words) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      bytes.push_back(static_cast<unsigned char>(word >> shift));
    }
  }
  WipeReference(words.data(), words.size() * sizeof words[0]);
  return bytes;
}

void WipeReference(void* p, std::size_t n) {
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(p);
  for (std::size_t i = 0; i < n; ++i) {
    bytes[i] = 0;
  }
}

}  // namespace vantry::test
