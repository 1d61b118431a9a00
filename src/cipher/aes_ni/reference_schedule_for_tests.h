// For the kernel tests only: the AES key expansion written from its textbook definition, with
// the round keys in the cipher's layout (big-endian column words in rows; decryption rows in
// reverse order with InvMixColumns on the inner rows), so the kernels can be checked on their
// own, independently of the cipher's key schedule. The S-box is computed here from the field
// inverse and the affine map instead of being copied from a table.
#ifndef VANTRY_CIPHER_AES_NI_REFERENCE_SCHEDULE_FOR_TESTS_H_
#define VANTRY_CIPHER_AES_NI_REFERENCE_SCHEDULE_FOR_TESTS_H_

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "cipher/aes_ni/aes_ni.h"

namespace vantry::test {

inline unsigned char GfMul(unsigned char a, unsigned char b) {
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

inline unsigned char ReferenceSbox(unsigned char x) {
  unsigned char inverse = 0;
  for (int candidate = 1; candidate < 256 && x != 0; ++candidate) {
    if (GfMul(x, static_cast<unsigned char>(candidate)) == 1) {
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

struct ReferenceSchedule {
  int rounds = 0;
  std::uint32_t enc[15][8] = {};
  std::uint32_t dec[15][8] = {};
  unsigned char encKeys[aes_ni::kRoundKeyBytes] = {};
  unsigned char decKeys[aes_ni::kRoundKeyBytes] = {};
};

inline ReferenceSchedule MakeReferenceSchedule(const std::vector<unsigned char>& key) {
  const int nk = static_cast<int>(key.size() / 4);
  if (key.size() != 16 && key.size() != 24 && key.size() != 32) {
    throw std::invalid_argument("reference schedule: key of 16, 24 or 32 bytes");
  }
  static const std::vector<unsigned char> sbox = [] {
    std::vector<unsigned char> table(256);
    for (int x = 0; x < 256; ++x) {
      table[x] = ReferenceSbox(static_cast<unsigned char>(x));
    }
    return table;
  }();
  auto subWord = [&](std::uint32_t w) {
    return std::uint32_t{sbox[w >> 24]} << 24 | std::uint32_t{sbox[(w >> 16) & 255]} << 16 |
           std::uint32_t{sbox[(w >> 8) & 255]} << 8 | sbox[w & 255];
  };
  ReferenceSchedule s;
  s.rounds = nk + 6;
  const int total = 4 * (s.rounds + 1);
  std::vector<std::uint32_t> w(static_cast<std::size_t>(total));
  unsigned char rcon = 1;
  for (int i = 0; i < total; ++i) {
    std::uint32_t word;
    if (i < nk) {
      word = std::uint32_t{key[4 * i]} << 24 | std::uint32_t{key[4 * i + 1]} << 16 |
             std::uint32_t{key[4 * i + 2]} << 8 | key[4 * i + 3];
    } else {
      std::uint32_t temp = w[i - 1];
      if (i % nk == 0) {
        temp = subWord(temp << 8 | temp >> 24) ^ (std::uint32_t{rcon} << 24);
        rcon = GfMul(rcon, 2);
      } else if (nk > 6 && i % nk == 4) {
        temp = subWord(temp);
      }
      word = w[i - nk] ^ temp;
    }
    w[i] = word;
    s.enc[i / 4][i % 4] = word;
    s.dec[s.rounds - i / 4][i % 4] = word;
  }
  for (int r = 1; r < s.rounds; ++r) {
    for (int c = 0; c < 4; ++c) {
      const std::uint32_t word = s.dec[r][c];
      unsigned char b[4] = {
          static_cast<unsigned char>(word >> 24), static_cast<unsigned char>(word >> 16),
          static_cast<unsigned char>(word >> 8), static_cast<unsigned char>(word)};
      std::uint32_t mixed = 0;
      for (int row = 0; row < 4; ++row) {
        const unsigned char v = GfMul(b[row], 0x0e) ^ GfMul(b[(row + 1) % 4], 0x0b) ^
                                GfMul(b[(row + 2) % 4], 0x0d) ^ GfMul(b[(row + 3) % 4], 0x09);
        mixed |= std::uint32_t{v} << (24 - 8 * row);
      }
      s.dec[r][c] = mixed;
    }
  }
  aes_ni::ConvertRoundKeys(s.enc, s.rounds, s.encKeys);
  aes_ni::ConvertRoundKeys(s.dec, s.rounds, s.decKeys);
  return s;
}

}  // namespace vantry::test

#endif  // VANTRY_CIPHER_AES_NI_REFERENCE_SCHEDULE_FOR_TESTS_H_
