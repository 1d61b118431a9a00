// AES for 16-byte blocks with the processor's AES instructions (AES-NI).
//
// CRijndaelCipher takes this road for 16-byte blocks when Available() says the processor can;
// its lookup tables stay the portable path and the path for 24- and 32-byte blocks. The kernels
// run several blocks side by side wherever the chaining allows it, because one AES round
// instruction has a latency of several cycles but the processor can start a new one every
// cycle: eight independent blocks keep the unit busy, one block leaves it idle most of the time.
//
// The intrinsics are compiled per function for the AES instruction set, so the rest of the
// library needs no special compiler flags; on a processor without AES-NI none of them runs.
// On targets other than x86 Available() is false and the kernels must not be called.
//
// Round keys come in the layout the AES instructions take: rounds + 1 keys of 16 bytes, each
// the key bytes in block order. ConvertRoundKeys builds them from the cipher's tables of
// big-endian column words. The decryption keys are the cipher's decryption rows converted the
// same way: they already run in reverse order with InvMixColumns applied to the inner rounds,
// which is the equivalent inverse cipher that AESDEC implements.
//
// Every kernel reads a group of blocks completely before it writes any output of that group,
// so in and out may be the same buffer (they must not overlap otherwise).
#ifndef VANTRY_CIPHER_AES_NI_AES_NI_H_
#define VANTRY_CIPHER_AES_NI_AES_NI_H_

#include <cstddef>
#include <cstdint>

namespace vantry::aes_ni {

inline constexpr int kMaxRounds = 14;
// Size of a round-key buffer that holds the keys of any key length.
inline constexpr std::size_t kRoundKeyBytes = 16 * (kMaxRounds + 1);

// True when the processor executes the AES instructions (CPUID leaf 1: AES and SSE2). Asked of
// the processor once; later calls return the stored answer.
bool Available() noexcept;

// Writes rows[0..rounds][0..3] (big-endian column words) as rounds + 1 keys of 16 bytes.
void ConvertRoundKeys(const std::uint32_t (*rows)[8], int rounds, unsigned char* keys) noexcept;

// In every kernel below, rounds is 10, 12 or 14 (anything else throws std::invalid_argument),
// encKeys are converted encryption round keys, decKeys converted decryption round keys, and
// chain is the 16-byte chain block, which the chaining kernels advance past the last block.

// One block.
void EncryptBlock(const unsigned char* encKeys, int rounds, const unsigned char* in,
                  unsigned char* out);
void DecryptBlock(const unsigned char* decKeys, int rounds, const unsigned char* in,
                  unsigned char* out);

// nblocks blocks, each on its own (ECB), eight and then four at a time.
void EncryptBlocks(const unsigned char* encKeys, int rounds, const unsigned char* in,
                   unsigned char* out, std::size_t nblocks);
void DecryptBlocks(const unsigned char* decKeys, int rounds, const unsigned char* in,
                   unsigned char* out, std::size_t nblocks);

// Cipher block chaining. Encryption is serial by nature (each block needs the one before);
// decryption works eight blocks at a time: P[i] = D(C[i]) ^ C[i-1].
void EncryptCbc(const unsigned char* encKeys, int rounds, const unsigned char* in,
                unsigned char* out, std::size_t nblocks, unsigned char* chain);
void DecryptCbc(const unsigned char* decKeys, int rounds, const unsigned char* in,
                unsigned char* out, std::size_t nblocks, unsigned char* chain);

// Full-block cipher feedback; both directions use the forward cipher. Encryption is serial;
// decryption works eight blocks at a time: P[i] = E(C[i-1]) ^ C[i].
void EncryptCfb(const unsigned char* encKeys, int rounds, const unsigned char* in,
                unsigned char* out, std::size_t nblocks, unsigned char* chain);
void DecryptCfb(const unsigned char* encKeys, int rounds, const unsigned char* in,
                unsigned char* out, std::size_t nblocks, unsigned char* chain);

}  // namespace vantry::aes_ni

#endif  // VANTRY_CIPHER_AES_NI_AES_NI_H_
