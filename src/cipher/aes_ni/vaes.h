// ECB for 16-byte blocks with the vector AES instructions (VAES): one instruction runs a round
// on two blocks (256-bit registers, AVX2) or four (512-bit registers, AVX-512). CRijndaelCipher
// takes these for its ECB runs when SetKey finds the processor and the operating system able
// (CPUID and XCR0), the widest first; every other mode, and a single block, stays on the AES-NI
// kernels of aes_ni.h, with the same round keys.
//
// Like the AES-NI kernels they read a group completely before writing any of it, so in and out
// may be the same buffer, and they are compiled per function for their instruction sets. On
// targets other than x86 nothing is available and the kernels must not be called.
#ifndef VANTRY_CIPHER_AES_NI_VAES_H_
#define VANTRY_CIPHER_AES_NI_VAES_H_

#include <cstddef>

namespace vantry::vaes {

// VAES with AVX2 (CPUID leaf 7: VAES, AVX2; XCR0: xmm and ymm state) and AES-NI. Asked once.
bool Available256() noexcept;
// VAES with AVX-512F, also on 512-bit registers (XCR0: opmask and zmm state too). Asked once.
bool Available512() noexcept;

// nblocks blocks, each on its own, with converted round keys as in aes_ni.h; rounds is 10, 12
// or 14 (anything else throws std::invalid_argument).
void EncryptBlocks256(const unsigned char* encKeys, int rounds, const unsigned char* in,
                      unsigned char* out, std::size_t nblocks);
void DecryptBlocks256(const unsigned char* decKeys, int rounds, const unsigned char* in,
                      unsigned char* out, std::size_t nblocks);
void EncryptBlocks512(const unsigned char* encKeys, int rounds, const unsigned char* in,
                      unsigned char* out, std::size_t nblocks);
void DecryptBlocks512(const unsigned char* decKeys, int rounds, const unsigned char* in,
                      unsigned char* out, std::size_t nblocks);

}  // namespace vantry::vaes

#endif  // VANTRY_CIPHER_AES_NI_VAES_H_
