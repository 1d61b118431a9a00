// AES written from its textbook definition (FIPS-197), independently of the library's tables
// and key schedule: multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1, the S-box from
// the field inverse and the affine map, InvMixColumns from its matrix, and the key expansion.
// Slow and plain on purpose: tests use it as the reference the library is checked against.
#ifndef VANTRY_TESTS_SUPPORT_AES_REFERENCE_H_
#define VANTRY_TESTS_SUPPORT_AES_REFERENCE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantry::test {

unsigned char GfMultiply(unsigned char a, unsigned char b);
unsigned char ReferenceSbox(unsigned char x);
// InvMixColumns of one column held as a word, first byte most significant.
std::uint32_t ReferenceInvMixColumn(std::uint32_t column);
// The expanded key w[0 .. 4 * (rounds + 1) - 1] of a 16, 24 or 32-byte key, each word with its
// first byte most significant. Throws std::invalid_argument for another key length.
std::vector<std::uint32_t> ReferenceKeyExpansion(const std::vector<unsigned char>& key);
// The same round keys as bytes, in order: 16 bytes per round, starting with the key itself.
std::vector<unsigned char> ReferenceRoundKeyBytes(const std::vector<unsigned char>& key);

// Zeroes a reference result before its memory goes back to the allocator. The hygiene tests
// search released blocks for round keys; the reference must not leave its own copies there
// (ReferenceRoundKeyBytes wipes the words it expands on the way).
void WipeReference(void* p, std::size_t n);

}  // namespace vantry::test

#endif  // VANTRY_TESTS_SUPPORT_AES_REFERENCE_H_
