// The constant tables of Rijndael: S-box, inverse S-box, round constants, and the combined
// round tables of the key schedule and the block transforms.
//
// Every 32-bit entry is a column of four bytes with the first (row 0) byte most significant,
// the byte order used for round keys and state words throughout the cipher.
#ifndef VANTRY_CIPHER_RIJNDAEL_TABLES_H_
#define VANTRY_CIPHER_RIJNDAEL_TABLES_H_

#include <array>
#include <cstdint>

namespace vantry::rijndael {

using ByteTable = std::array<std::uint8_t, 256>;
using WordTable = std::array<std::uint32_t, 256>;

// The S-box (SubBytes) and its inverse.
extern const ByteTable S;
extern const ByteTable Si;

// Round constants: 01, then each the previous times x in GF(2^8). The longest schedule (16-byte
// key, 32-byte block) uses 29 of them.
inline constexpr int kRoundConstantCount = 30;
extern const std::array<std::uint8_t, kRoundConstantCount> rcon;

// Forward round: SubBytes and MixColumns of one byte in row 0..3 of a column.
// T1[x] = (02·S[x], S[x], S[x], 03·S[x]); T2, T3, T4 are T1 rotated right by 8, 16, 24 bits.
extern const WordTable T1;
extern const WordTable T2;
extern const WordTable T3;
extern const WordTable T4;

// Inverse round: InvSubBytes and InvMixColumns of one byte in row 0..3.
// T5[x] = (0E·Si[x], 09·Si[x], 0D·Si[x], 0B·Si[x]); T6, T7, T8 are T5 rotated right by 8, 16,
// 24 bits.
extern const WordTable T5;
extern const WordTable T6;
extern const WordTable T7;
extern const WordTable T8;

// InvMixColumns alone (no S-box), to turn encryption round keys into those of the equivalent
// inverse cipher. U1[x] = (0E·x, 09·x, 0D·x, 0B·x); U2, U3, U4 rotated right by 8, 16, 24.
extern const WordTable U1;
extern const WordTable U2;
extern const WordTable U3;
extern const WordTable U4;

}  // namespace vantry::rijndael

#endif  // VANTRY_CIPHER_RIJNDAEL_TABLES_H_
