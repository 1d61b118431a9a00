#include "vantry/sha.h"

#include <cstddef>
#include <cstring>
#include <stdexcept>

#include "hash/bit_count.h"
#include "platform/secure_wipe.h"

namespace vantry {
namespace {

constexpr const char* kAddDataLengthMessage =
    "Sealkit ERROR: in CSHA::AddData(), Data Length should be > 0!";
constexpr const char* kAddDataNullMessage =
    "Sealkit ERROR: in CSHA::AddData(), Data Pointer is null!";
constexpr const char* kNoDataMessage =
    "Sealkit ERROR: in CSHA::FinalDigest(), No data Added before call!";
constexpr const char* kDigestNullMessage =
    "Sealkit ERROR: in CSHA::FinalDigest(), Digest Pointer is null!";

constexpr std::size_t kBlockSize = 64;
// The last 8 bytes of the final block carry the message length.
constexpr std::size_t kLengthOffset = kBlockSize - 8;

constexpr std::uint32_t kInitialHash[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// Words are assembled byte by byte, so the digest is the same on little- and big-endian hosts.
inline std::uint32_t LoadBigEndian(const unsigned char* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

inline void StoreBigEndian(unsigned char* p, std::uint32_t uiWord) {
  p[0] = static_cast<unsigned char>(uiWord >> 24);
  p[1] = static_cast<unsigned char>(uiWord >> 16);
  p[2] = static_cast<unsigned char>(uiWord >> 8);
  p[3] = static_cast<unsigned char>(uiWord);
}

// n is always 1..31 here, so neither shift reaches the word width.
inline std::uint32_t RotateRight(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline std::uint32_t BigSigma0(std::uint32_t x) {
  return RotateRight(x, 2) ^ RotateRight(x, 13) ^ RotateRight(x, 22);
}
inline std::uint32_t BigSigma1(std::uint32_t x) {
  return RotateRight(x, 6) ^ RotateRight(x, 11) ^ RotateRight(x, 25);
}
inline std::uint32_t SmallSigma0(std::uint32_t x) {
  return RotateRight(x, 7) ^ RotateRight(x, 18) ^ (x >> 3);
}
inline std::uint32_t SmallSigma1(std::uint32_t x) {
  return RotateRight(x, 17) ^ RotateRight(x, 19) ^ (x >> 10);
}
inline std::uint32_t Choose(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return (x & y) ^ (~x & z);
}
inline std::uint32_t Majority(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return (x & y) ^ (x & z) ^ (y & z);
}

// One round. Instead of shifting all eight working variables down by one, the caller renames
// them: each round passes them rotated one place further, so a round writes only two of them,
// the new e (into d's place) and the new a (into h's place).
inline void Round(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t& d,
                  std::uint32_t e, std::uint32_t f, std::uint32_t g, std::uint32_t& h,
                  std::uint32_t uiScheduleWord, std::uint32_t uiRoundConstant) {
  const std::uint32_t uiT1 = h + BigSigma1(e) + Choose(e, f, g) + uiRoundConstant + uiScheduleWord;
  const std::uint32_t uiT2 = BigSigma0(a) + Majority(a, b, c);
  d += uiT1;
  h = uiT1 + uiT2;
}

}  // namespace

CSHA::CSHA() { Reset(); }

CSHA::~CSHA() {
  platform::SecureWipe(m_auiState, sizeof m_auiState);
  platform::SecureWipe(m_auiBitCount, sizeof m_auiBitCount);
  platform::SecureWipe(m_aucBlock, sizeof m_aucBlock);
  m_bDataAdded = false;
}

// Also clears the block: after construction or a digest nothing of the last message (whose
// final block holds its tail) stays in the object.
void CSHA::Reset() {
  std::memcpy(m_auiState, kInitialHash, sizeof m_auiState);
  m_auiBitCount[0] = 0;
  m_auiBitCount[1] = 0;
  platform::SecureWipe(m_aucBlock, sizeof m_aucBlock);
  m_bDataAdded = false;
}

void CSHA::AddData(const unsigned char* pData, std::int32_t iLen) {
  if (iLen < 1) {
    throw std::runtime_error(kAddDataLengthMessage);
  }
  if (pData == nullptr) {
    throw std::runtime_error(kAddDataNullMessage);
  }
  // Bytes already waiting in the block, from the count before this call adds to it.
  const std::size_t fill = (m_auiBitCount[0] >> 3) % kBlockSize;
  AddBytesToBitCount(m_auiBitCount, iLen);

  std::size_t remaining = static_cast<std::size_t>(iLen);
  if (fill != 0) {
    const std::size_t room = kBlockSize - fill;
    if (remaining < room) {
      std::memcpy(m_aucBlock + fill, pData, remaining);
      return;
    }
    std::memcpy(m_aucBlock + fill, pData, room);
    Compress();
    pData += room;
    remaining -= room;
  }
  // Whole blocks still go through m_aucBlock: Compress has one source, and a caller's buffer is
  // never read more than once.
  while (remaining >= kBlockSize) {
    std::memcpy(m_aucBlock, pData, kBlockSize);
    Compress();
    pData += kBlockSize;
    remaining -= kBlockSize;
  }
  if (remaining != 0) {
    std::memcpy(m_aucBlock, pData, remaining);
  }
  m_bDataAdded = true;
}

void CSHA::FinalDigest(unsigned char* pDigest) {
  if (!m_bDataAdded) {
    throw std::runtime_error(kNoDataMessage);
  }
  if (pDigest == nullptr) {
    throw std::runtime_error(kDigestNullMessage);
  }
  std::size_t fill = (m_auiBitCount[0] >> 3) % kBlockSize;
  m_aucBlock[fill++] = 0x80;
  if (fill > kLengthOffset) {
    // No room left for the length behind the marker: it goes into one more block.
    std::memset(m_aucBlock + fill, 0, kBlockSize - fill);
    Compress();
    fill = 0;
  }
  std::memset(m_aucBlock + fill, 0, kLengthOffset - fill);
  StoreBigEndian(m_aucBlock + kLengthOffset, m_auiBitCount[1]);
  StoreBigEndian(m_aucBlock + kLengthOffset + 4, m_auiBitCount[0]);
  Compress();

  for (std::size_t i = 0; i < 8; ++i) {
    StoreBigEndian(pDigest + 4 * i, m_auiState[i]);
  }
  Reset();
}

// The 64 rounds are written out instead of looped. With fixed indices the compiler keeps the
// eight working variables in registers, turns every round constant and schedule index into an
// immediate, and the renaming in Round() saves the seven register moves per round that shifting
// the variables in a loop would cost. This function is where all hashing time goes.
void CSHA::Compress() {
  std::uint32_t w[64];
  for (std::size_t t = 0; t < 16; ++t) {
    w[t] = LoadBigEndian(m_aucBlock + 4 * t);
  }
  for (std::size_t t = 16; t < 64; ++t) {
    w[t] = SmallSigma1(w[t - 2]) + w[t - 7] + SmallSigma0(w[t - 15]) + w[t - 16];
  }

  std::uint32_t a = m_auiState[0];
  std::uint32_t b = m_auiState[1];
  std::uint32_t c = m_auiState[2];
  std::uint32_t d = m_auiState[3];
  std::uint32_t e = m_auiState[4];
  std::uint32_t f = m_auiState[5];
  std::uint32_t g = m_auiState[6];
  std::uint32_t h = m_auiState[7];

  Round(a, b, c, d, e, f, g, h, w[0], kRoundConstants[0]);
  Round(h, a, b, c, d, e, f, g, w[1], kRoundConstants[1]);
  Round(g, h, a, b, c, d, e, f, w[2], kRoundConstants[2]);
  Round(f, g, h, a, b, c, d, e, w[3], kRoundConstants[3]);
  Round(e, f, g, h, a, b, c, d, w[4], kRoundConstants[4]);
  Round(d, e, f, g, h, a, b, c, w[5], kRoundConstants[5]);
  Round(c, d, e, f, g, h, a, b, w[6], kRoundConstants[6]);
  Round(b, c, d, e, f, g, h, a, w[7], kRoundConstants[7]);
  Round(a, b, c, d, e, f, g, h, w[8], kRoundConstants[8]);
  Round(h, a, b, c, d, e, f, g, w[9], kRoundConstants[9]);
  Round(g, h, a, b, c, d, e, f, w[10], kRoundConstants[10]);
  Round(f, g, h, a, b, c, d, e, w[11], kRoundConstants[11]);
  Round(e, f, g, h, a, b, c, d, w[12], kRoundConstants[12]);
  Round(d, e, f, g, h, a, b, c, w[13], kRoundConstants[13]);
  Round(c, d, e, f, g, h, a, b, w[14], kRoundConstants[14]);
  Round(b, c, d, e, f, g, h, a, w[15], kRoundConstants[15]);
  Round(a, b, c, d, e, f, g, h, w[16], kRoundConstants[16]);
  Round(h, a, b, c, d, e, f, g, w[17], kRoundConstants[17]);
  Round(g, h, a, b, c, d, e, f, w[18], kRoundConstants[18]);
  Round(f, g, h, a, b, c, d, e, w[19], kRoundConstants[19]);
  Round(e, f, g, h, a, b, c, d, w[20], kRoundConstants[20]);
  Round(d, e, f, g, h, a, b, c, w[21], kRoundConstants[21]);
  Round(c, d, e, f, g, h, a, b, w[22], kRoundConstants[22]);
  Round(b, c, d, e, f, g, h, a, w[23], kRoundConstants[23]);
  Round(a, b, c, d, e, f, g, h, w[24], kRoundConstants[24]);
  Round(h, a, b, c, d, e, f, g, w[25], kRoundConstants[25]);
  Round(g, h, a, b, c, d, e, f, w[26], kRoundConstants[26]);
  Round(f, g, h, a, b, c, d, e, w[27], kRoundConstants[27]);
  Round(e, f, g, h, a, b, c, d, w[28], kRoundConstants[28]);
  Round(d, e, f, g, h, a, b, c, w[29], kRoundConstants[29]);
  Round(c, d, e, f, g, h, a, b, w[30], kRoundConstants[30]);
  Round(b, c, d, e, f, g, h, a, w[31], kRoundConstants[31]);
  Round(a, b, c, d, e, f, g, h, w[32], kRoundConstants[32]);
  Round(h, a, b, c, d, e, f, g, w[33], kRoundConstants[33]);
  Round(g, h, a, b, c, d, e, f, w[34], kRoundConstants[34]);
  Round(f, g, h, a, b, c, d, e, w[35], kRoundConstants[35]);
  Round(e, f, g, h, a, b, c, d, w[36], kRoundConstants[36]);
  Round(d, e, f, g, h, a, b, c, w[37], kRoundConstants[37]);
  Round(c, d, e, f, g, h, a, b, w[38], kRoundConstants[38]);
  Round(b, c, d, e, f, g, h, a, w[39], kRoundConstants[39]);
  Round(a, b, c, d, e, f, g, h, w[40], kRoundConstants[40]);
  Round(h, a, b, c, d, e, f, g, w[41], kRoundConstants[41]);
  Round(g, h, a, b, c, d, e, f, w[42], kRoundConstants[42]);
  Round(f, g, h, a, b, c, d, e, w[43], kRoundConstants[43]);
  Round(e, f, g, h, a, b, c, d, w[44], kRoundConstants[44]);
  Round(d, e, f, g, h, a, b, c, w[45], kRoundConstants[45]);
  Round(c, d, e, f, g, h, a, b, w[46], kRoundConstants[46]);
  Round(b, c, d, e, f, g, h, a, w[47], kRoundConstants[47]);
  Round(a, b, c, d, e, f, g, h, w[48], kRoundConstants[48]);
  Round(h, a, b, c, d, e, f, g, w[49], kRoundConstants[49]);
  Round(g, h, a, b, c, d, e, f, w[50], kRoundConstants[50]);
  Round(f, g, h, a, b, c, d, e, w[51], kRoundConstants[51]);
  Round(e, f, g, h, a, b, c, d, w[52], kRoundConstants[52]);
  Round(d, e, f, g, h, a, b, c, w[53], kRoundConstants[53]);
  Round(c, d, e, f, g, h, a, b, w[54], kRoundConstants[54]);
  Round(b, c, d, e, f, g, h, a, w[55], kRoundConstants[55]);
  Round(a, b, c, d, e, f, g, h, w[56], kRoundConstants[56]);
  Round(h, a, b, c, d, e, f, g, w[57], kRoundConstants[57]);
  Round(g, h, a, b, c, d, e, f, w[58], kRoundConstants[58]);
  Round(f, g, h, a, b, c, d, e, w[59], kRoundConstants[59]);
  Round(e, f, g, h, a, b, c, d, w[60], kRoundConstants[60]);
  Round(d, e, f, g, h, a, b, c, w[61], kRoundConstants[61]);
  Round(c, d, e, f, g, h, a, b, w[62], kRoundConstants[62]);
  Round(b, c, d, e, f, g, h, a, w[63], kRoundConstants[63]);

  m_auiState[0] += a;
  m_auiState[1] += b;
  m_auiState[2] += c;
  m_auiState[3] += d;
  m_auiState[4] += e;
  m_auiState[5] += f;
  m_auiState[6] += g;
  m_auiState[7] += h;

  // The schedule is the message block spread out; it must not outlive the call on the stack.
  platform::SecureWipe(w, sizeof w);
}

}  // namespace vantry
