#include "cipher/rijndael_tables.h"

// The tables are computed by the compiler from the field arithmetic rather than typed in, so a
// wrong digit cannot hide in 4 KiB of hexadecimal.
//
// Mathematics. Bytes are elements of GF(2^8) = GF(2)[x] / (x^8 + x^4 + x^3 + x + 1): bit i is
// the coefficient of x^i, addition is XOR, and multiplication by x ("xtime") is a left shift
// followed by a reduction with 0x1B when x^8 falls out. 03 = x + 1 generates the multiplicative
// group, so walking its powers once yields every non-zero element together with its inverse:
// if g^k = a, then a^-1 = g^(255 - k).
//
// The S-box maps a to the affine transform b ^ rotl(b,1) ^ rotl(b,2) ^ rotl(b,3) ^ rotl(b,4)
// ^ 0x63 of b = a^-1 (0 maps to 0 before the transform); Si is its inverse permutation.
//
// MixColumns multiplies each column, as a polynomial over GF(2^8), by 03·y^3 + y^2 + y + 02, i.e.
// by the circulant matrix with first row (02 03 01 01); InvMixColumns by the one with first row
// (0E 0B 0D 09). A state byte in row j contributes column j of that matrix times the byte, so
// one table per row holds the contribution of any byte value, and because the matrix is
// circulant the tables for rows 1..3 are the row-0 table rotated by 8, 16 and 24 bits. Folding
// the S-box into the same lookup makes a full round four lookups and four XORs per column.

namespace vantry::rijndael {
namespace {

constexpr std::uint8_t XTime(std::uint8_t a) {
  return static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) != 0 ? 0x1B : 0x00));
}

// Shift-and-add multiplication; only used at compile time.
constexpr std::uint8_t Multiply(std::uint8_t a, std::uint8_t b) {
  std::uint8_t product = 0;
  while (b != 0) {
    if ((b & 1) != 0) {
      product ^= a;
    }
    a = XTime(a);
    b >>= 1;
  }
  return product;
}

constexpr std::uint8_t RotateLeft8(std::uint8_t b, int n) {
  return static_cast<std::uint8_t>((b << n) | (b >> (8 - n)));
}

constexpr std::uint32_t RotateRight32(std::uint32_t w, int n) { return (w >> n) | (w << (32 - n)); }

constexpr std::uint32_t Column(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  return (std::uint32_t{b0} << 24) | (std::uint32_t{b1} << 16) | (std::uint32_t{b2} << 8) |
         std::uint32_t{b3};
}

constexpr ByteTable MakeSBox() {
  // power[k] = 03^k, logarithm[power[k]] = k.
  std::array<std::uint8_t, 255> power{};
  ByteTable logarithm{};
  std::uint8_t p = 1;
  for (int k = 0; k < 255; ++k) {
    power[k] = p;
    logarithm[p] = static_cast<std::uint8_t>(k);
    p = static_cast<std::uint8_t>(p ^ XTime(p));  // p * 03
  }
  ByteTable sbox{};
  for (int a = 0; a < 256; ++a) {
    const std::uint8_t inverse = a == 0 ? 0 : power[(255 - logarithm[a]) % 255];
    sbox[a] =
        static_cast<std::uint8_t>(inverse ^ RotateLeft8(inverse, 1) ^ RotateLeft8(inverse, 2) ^
                                  RotateLeft8(inverse, 3) ^ RotateLeft8(inverse, 4) ^ 0x63);
  }
  return sbox;
}

constexpr ByteTable Invert(const ByteTable& permutation) {
  ByteTable inverse{};
  for (int a = 0; a < 256; ++a) {
    inverse[permutation[a]] = static_cast<std::uint8_t>(a);
  }
  return inverse;
}

constexpr std::array<std::uint8_t, kRoundConstantCount> MakeRoundConstants() noexcept {
  std::array<std::uint8_t, kRoundConstantCount> constants{};
  std::uint8_t c = 1;
  for (auto& entry : constants) {
    entry = c;
    c = XTime(c);
  }
  return constants;
}

// Column of a matrix whose first row is (c0 c1 c2 c3), a circulant one: so its first column
// read downwards is (c0 c3 c2 c1) — times each byte value, optionally after a substitution.
constexpr WordTable MakeColumnTable(std::uint8_t c0, std::uint8_t c1, std::uint8_t c2,
                                    std::uint8_t c3, const ByteTable* substitution) {
  WordTable table{};
  for (int x = 0; x < 256; ++x) {
    const std::uint8_t v =
        substitution != nullptr ? (*substitution)[x] : static_cast<std::uint8_t>(x);
    table[x] = Column(Multiply(c0, v), Multiply(c3, v), Multiply(c2, v), Multiply(c1, v));
  }
  return table;
}

constexpr WordTable Rotated(const WordTable& table, int bits) noexcept {
  WordTable rotated{};
  for (int x = 0; x < 256; ++x) {
    rotated[x] = RotateRight32(table[x], bits);
  }
  return rotated;
}

constexpr ByteTable kSBox = MakeSBox();
constexpr ByteTable kInvSBox = Invert(kSBox);
// Forward matrix first row (02 03 01 01): column (02 01 01 03).
constexpr WordTable kForward = MakeColumnTable(0x02, 0x03, 0x01, 0x01, &kSBox);
// Inverse matrix first row (0E 0B 0D 09): column (0E 09 0D 0B).
constexpr WordTable kInverse = MakeColumnTable(0x0E, 0x0B, 0x0D, 0x09, &kInvSBox);
constexpr WordTable kInvMixColumns = MakeColumnTable(0x0E, 0x0B, 0x0D, 0x09, nullptr);

// Values printed in FIPS-197; if the arithmetic above were wrong the build would stop here.
static_assert(kSBox[0x00] == 0x63 && kSBox[0x53] == 0xED && kSBox[0xFF] == 0x16);
static_assert(kInvSBox[0x00] == 0x52 && kInvSBox[0xED] == 0x53);
static_assert(kForward[0x00] == 0xC66363A5);
static_assert(kInvMixColumns[0x01] == 0x0E090D0B);

}  // namespace

const ByteTable S = kSBox;
const ByteTable Si = kInvSBox;
const std::array<std::uint8_t, kRoundConstantCount> rcon = MakeRoundConstants();

const WordTable T1 = kForward;
const WordTable T2 = Rotated(kForward, 8);
const WordTable T3 = Rotated(kForward, 16);
const WordTable T4 = Rotated(kForward, 24);

const WordTable T5 = kInverse;
const WordTable T6 = Rotated(kInverse, 8);
const WordTable T7 = Rotated(kInverse, 16);
const WordTable T8 = Rotated(kInverse, 24);

const WordTable U1 = kInvMixColumns;
const WordTable U2 = Rotated(kInvMixColumns, 8);
const WordTable U3 = Rotated(kInvMixColumns, 16);
const WordTable U4 = Rotated(kInvMixColumns, 24);

}  // namespace vantry::rijndael
