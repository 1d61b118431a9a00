// How CRijndaelCipher picks the code that transforms 16-byte blocks: the processor's AES
// instructions where it has them, else the lookup tables. SetKey asks once per keying; the
// processor itself is asked once per process (aes_ni::Available).
#ifndef VANTRY_CIPHER_BLOCK_PATH_H_
#define VANTRY_CIPHER_BLOCK_PATH_H_

namespace vantry {

// True when a keying for 16-byte blocks should take the AES-NI path now.
bool AesNiPathSelected() noexcept;

// The kernels of ECB runs on the AES instructions: the AES-NI ones, or the vector AES ones
// (src/cipher/aes_ni/vaes.h) on 256- or 512-bit registers. The chaining modes always run on
// AES-NI, which the vector kernels need too.
enum class EcbKernel { kAesNi, kVaes256, kVaes512 };

// The widest kernel the processor runs, asked once; with a kernel forced, that one.
EcbKernel SelectedEcbKernel() noexcept;

// True when the processor runs kernel.
bool EcbKernelRuns(EcbKernel kernel) noexcept;

// For tests and benchmarks only: while set, every SetKey picks the lookup tables for 16-byte
// blocks, so that both paths can be held against the same vectors on one machine. Objects
// keyed earlier keep the path they were keyed with.
void ForceTablePathForTesting(bool force) noexcept;

// For tests and benchmarks only: while set, every keying on the AES instructions takes kernel
// for its ECB runs (the caller makes sure the processor runs it); unset restores the widest.
void ForceEcbKernelForTesting(bool force, EcbKernel kernel = EcbKernel::kAesNi) noexcept;

}  // namespace vantry

#endif  // VANTRY_CIPHER_BLOCK_PATH_H_
