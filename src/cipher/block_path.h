// How CRijndaelCipher picks the code that transforms 16-byte blocks: the processor's AES
// instructions where it has them, else the lookup tables. SetKey asks once per keying; the
// processor itself is asked once per process (aes_ni::Available).
#ifndef VANTRY_CIPHER_BLOCK_PATH_H_
#define VANTRY_CIPHER_BLOCK_PATH_H_

namespace vantry {

// True when a keying for 16-byte blocks should take the AES-NI path now.
bool AesNiPathSelected() noexcept;

// For tests and benchmarks only: while set, every SetKey picks the lookup tables for 16-byte
// blocks, so that both paths can be held against the same vectors on one machine. Objects
// keyed earlier keep the path they were keyed with.
void ForceTablePathForTesting(bool force) noexcept;

}  // namespace vantry

#endif  // VANTRY_CIPHER_BLOCK_PATH_H_
