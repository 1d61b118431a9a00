#include "cipher/aes_ni/aes_ni.h"
#include "cipher/big_endian.h"
#include "cipher/messages.h"
#include "cipher/rijndael_tables.h"
#include "vantry/rijndael_cipher.h"

// One block forwards and back. Each round is four table lookups and four XORs per column (see
// rijndael_tables.cpp); every path reads its whole input block before it writes the first
// output byte, so in and out may be the same block.

namespace vantry {
namespace {

using rijndael::ByteTable;
using rijndael::WordTable;

// One column of a full round: the bytes of rows 0..3 come from columns a, b, c, d of the old
// state (ShiftRows), and k is the round key word of the column.
inline std::uint32_t ForwardColumn(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                   std::uint32_t d, std::uint32_t k) {
  using namespace rijndael;
  return T1[a >> 24] ^ T2[(b >> 16) & 0xFF] ^ T3[(c >> 8) & 0xFF] ^ T4[d & 0xFF] ^ k;
}

inline std::uint32_t InverseColumn(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                   std::uint32_t d, std::uint32_t k) {
  using namespace rijndael;
  return T5[a >> 24] ^ T6[(b >> 16) & 0xFF] ^ T7[(c >> 8) & 0xFF] ^ T8[d & 0xFF] ^ k;
}

// One column of the last round, which has no (Inv)MixColumns.
inline std::uint32_t LastColumn(const ByteTable& box, std::uint32_t a, std::uint32_t b,
                                std::uint32_t c, std::uint32_t d, std::uint32_t k) {
  return ((std::uint32_t{box[a >> 24]} << 24) | (std::uint32_t{box[(b >> 16) & 0xFF]} << 16) |
          (std::uint32_t{box[(c >> 8) & 0xFF]} << 8) | std::uint32_t{box[d & 0xFF]}) ^
         k;
}

struct RoundTables {
  const WordTable& row0;
  const WordTable& row1;
  const WordTable& row2;
  const WordTable& row3;
  const ByteTable& box;
};

const RoundTables kForwardTables{rijndael::T1, rijndael::T2, rijndael::T3, rijndael::T4,
                                 rijndael::S};
const RoundTables kInverseTables{rijndael::T5, rijndael::T6, rijndael::T7, rijndael::T8,
                                 rijndael::Si};

// The general path for BC columns; source[row - 1][i] names the column that row's byte of
// output column i comes from. Encryption and the equivalent inverse cipher differ only in
// tables, round keys and shift offsets.
void GeneralRounds(const RoundTables& tables, const std::uint32_t (&roundKeys)[15][8],
                   const std::int32_t (&source)[3][8], std::int32_t rounds, std::int32_t columns,
                   std::uint32_t* state, std::uint32_t* temp, const unsigned char* in,
                   unsigned char* out) {
  const std::int32_t* from1 = source[0];
  const std::int32_t* from2 = source[1];
  const std::int32_t* from3 = source[2];

  for (std::int32_t i = 0; i < columns; ++i) {
    state[i] = LoadBigEndian32(in + 4 * i) ^ roundKeys[0][i];
  }
  for (std::int32_t r = 1; r < rounds; ++r) {
    for (std::int32_t i = 0; i < columns; ++i) {
      temp[i] = tables.row0[state[i] >> 24] ^ tables.row1[(state[from1[i]] >> 16) & 0xFF] ^
                tables.row2[(state[from2[i]] >> 8) & 0xFF] ^ tables.row3[state[from3[i]] & 0xFF] ^
                roundKeys[r][i];
    }
    for (std::int32_t i = 0; i < columns; ++i) {
      state[i] = temp[i];
    }
  }
  for (std::int32_t i = 0; i < columns; ++i) {
    StoreBigEndian32(LastColumn(tables.box, state[i], state[from1[i]], state[from2[i]],
                                state[from3[i]], roundKeys[rounds][i]),
                     out + 4 * i);
  }
}

}  // namespace

void CRijndaelCipher::EncryptBlock(const unsigned char* in, unsigned char* out) {
  RequireKeyed();
  EncryptOneBlock(in, out);
}

void CRijndaelCipher::DecryptBlock(const unsigned char* in, unsigned char* out) {
  RequireKeyed();
  DecryptOneBlock(in, out);
}

void CRijndaelCipher::EncryptBlock128(const unsigned char* in, unsigned char* out) {
  RequireKeyed();
  RequireBlockSize128();
  if (UsesAesNi()) {
    aes_ni::EncryptBlock(m_abAesNiEncKeys, m_iRounds, in, out);
  } else {
    EncryptTable128(in, out);
  }
}

void CRijndaelCipher::DecryptBlock128(const unsigned char* in, unsigned char* out) {
  RequireKeyed();
  RequireBlockSize128();
  if (UsesAesNi()) {
    aes_ni::DecryptBlock(m_abAesNiDecKeys, m_iRounds, in, out);
  } else {
    DecryptTable128(in, out);
  }
}

void CRijndaelCipher::EncryptBlockGeneral(const unsigned char* in, unsigned char* out) {
  RequireKeyed();
  EncryptGeneral(in, out);
}

void CRijndaelCipher::DecryptBlockGeneral(const unsigned char* in, unsigned char* out) {
  RequireKeyed();
  DecryptGeneral(in, out);
}

void CRijndaelCipher::UseGeneralBlockPath() { m_eBlockPath = BlockPath::kGeneral; }

// The unrolled path uses only the first four columns of each round-key row; keyed for a wider
// block it would quietly produce a wrong cipher, so it refuses instead.
void CRijndaelCipher::RequireBlockSize128() const {
  if (m_iBlockSize != 16) {
    ThrowCipherError(CipherMessage::kIllegalBlockSize);
  }
}

void CRijndaelCipher::EncryptOneBlock(const unsigned char* in, unsigned char* out) {
  switch (m_eBlockPath) {
    case BlockPath::kAesNi:
    case BlockPath::kAesNiVaes256:
    case BlockPath::kAesNiVaes512:
      aes_ni::EncryptBlock(m_abAesNiEncKeys, m_iRounds, in, out);
      break;
    case BlockPath::kTable128:
      EncryptTable128(in, out);
      break;
    case BlockPath::kGeneral:
      EncryptGeneral(in, out);
      break;
  }
}

void CRijndaelCipher::DecryptOneBlock(const unsigned char* in, unsigned char* out) {
  switch (m_eBlockPath) {
    case BlockPath::kAesNi:
    case BlockPath::kAesNiVaes256:
    case BlockPath::kAesNiVaes512:
      aes_ni::DecryptBlock(m_abAesNiDecKeys, m_iRounds, in, out);
      break;
    case BlockPath::kTable128:
      DecryptTable128(in, out);
      break;
    case BlockPath::kGeneral:
      DecryptGeneral(in, out);
      break;
  }
}

void CRijndaelCipher::EncryptGeneral(const unsigned char* in, unsigned char* out) {
  GeneralRounds(kForwardTables, m_aiEncRoundKeys, m_aiEncSourceColumn, m_iRounds, m_iBlockSize / 4,
                m_aiState, m_aiTemp, in, out);
}

void CRijndaelCipher::DecryptGeneral(const unsigned char* in, unsigned char* out) {
  GeneralRounds(kInverseTables, m_aiDecRoundKeys, m_aiDecSourceColumn, m_iRounds, m_iBlockSize / 4,
                m_aiState, m_aiTemp, in, out);
}

// The common case, written out for four columns with ShiftRows offsets 1, 2, 3: no loop over
// columns, no index arithmetic, and the state in locals (registers) rather than in the object.
void CRijndaelCipher::EncryptTable128(const unsigned char* in, unsigned char* out) const {
  const std::uint32_t(*rk)[8] = m_aiEncRoundKeys;
  std::uint32_t s0 = LoadBigEndian32(in) ^ rk[0][0];
  std::uint32_t s1 = LoadBigEndian32(in + 4) ^ rk[0][1];
  std::uint32_t s2 = LoadBigEndian32(in + 8) ^ rk[0][2];
  std::uint32_t s3 = LoadBigEndian32(in + 12) ^ rk[0][3];
  for (std::int32_t r = 1; r < m_iRounds; ++r) {
    const std::uint32_t t0 = ForwardColumn(s0, s1, s2, s3, rk[r][0]);
    const std::uint32_t t1 = ForwardColumn(s1, s2, s3, s0, rk[r][1]);
    const std::uint32_t t2 = ForwardColumn(s2, s3, s0, s1, rk[r][2]);
    const std::uint32_t t3 = ForwardColumn(s3, s0, s1, s2, rk[r][3]);
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  const std::uint32_t* last = rk[m_iRounds];
  StoreBigEndian32(LastColumn(rijndael::S, s0, s1, s2, s3, last[0]), out);
  StoreBigEndian32(LastColumn(rijndael::S, s1, s2, s3, s0, last[1]), out + 4);
  StoreBigEndian32(LastColumn(rijndael::S, s2, s3, s0, s1, last[2]), out + 8);
  StoreBigEndian32(LastColumn(rijndael::S, s3, s0, s1, s2, last[3]), out + 12);
}

// Inverse offsets 3, 2, 1: row j of column i comes from column i - j.
void CRijndaelCipher::DecryptTable128(const unsigned char* in, unsigned char* out) const {
  const std::uint32_t(*rk)[8] = m_aiDecRoundKeys;
  std::uint32_t s0 = LoadBigEndian32(in) ^ rk[0][0];
  std::uint32_t s1 = LoadBigEndian32(in + 4) ^ rk[0][1];
  std::uint32_t s2 = LoadBigEndian32(in + 8) ^ rk[0][2];
  std::uint32_t s3 = LoadBigEndian32(in + 12) ^ rk[0][3];
  for (std::int32_t r = 1; r < m_iRounds; ++r) {
    const std::uint32_t t0 = InverseColumn(s0, s3, s2, s1, rk[r][0]);
    const std::uint32_t t1 = InverseColumn(s1, s0, s3, s2, rk[r][1]);
    const std::uint32_t t2 = InverseColumn(s2, s1, s0, s3, rk[r][2]);
    const std::uint32_t t3 = InverseColumn(s3, s2, s1, s0, rk[r][3]);
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  const std::uint32_t* last = rk[m_iRounds];
  StoreBigEndian32(LastColumn(rijndael::Si, s0, s3, s2, s1, last[0]), out);
  StoreBigEndian32(LastColumn(rijndael::Si, s1, s0, s3, s2, last[1]), out + 4);
  StoreBigEndian32(LastColumn(rijndael::Si, s2, s1, s0, s3, last[2]), out + 8);
  StoreBigEndian32(LastColumn(rijndael::Si, s3, s2, s1, s0, last[3]), out + 12);
}

}  // namespace vantry
