// KeyCipher: the one keying of the library. A key source (a key text, the machine key or raw
// key data) becomes a keyed CRijndaelCipher; the entry points, the C interface and the vantry
// tool all key their ciphers here, so a key gives the same file whichever of them wrote it.
#ifndef VANTRY_KEYING_H_
#define VANTRY_KEYING_H_

#include <cstddef>

#include "vantry/export.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {

// The fixed cipher parameters of the entry points. The chain block takes no part in their ECB,
// but it is what ResetChainBlock restores.
inline constexpr unsigned char kVantryChainBlock[16] = {
    0x7E, 0x1B, 0xC4, 0x52, 0x09, 0xA8, 0x3F, 0xD6, 0x61, 0x2C, 0x95, 0xE0, 0x4B, 0x78, 0xD3, 0x17};
inline constexpr int kVantryKeyBufferSize = 32;  // key text bytes copied, zero-filled
inline constexpr int kVantryKeyLength = 16;      // of which the cipher uses these
inline constexpr int kVantryBlockSize = 16;

enum class KeySource {
  // A key text: its bytes up to the first zero byte (at most kVantryKeyBufferSize of them),
  // zero bytes after, in a buffer of kVantryKeyBufferSize bytes. Length 0 is the empty text.
  kText,
  // The machine key's text (GetMachineKey, machine_key.h), taken as a key text; key and
  // length are ignored.
  kMachine,
  // Raw key data, handed to SetKey as it is. Refused with a CipherError of kind kIndistinctKey
  // when the key bytes the cipher uses hold a byte other than zero after a zero byte: the key
  // check digest covers the key only up to its first zero byte, so such a key would open files
  // of other keys (and they its files). The all-zero key, the empty key text, is allowed.
  kRawBytes,
};

// The cipher parameters besides the key. The defaults are the fixed ones of the entry points
// (above): AES-128, 16-byte blocks, ECB, zero padding, chain block kVantryChainBlock.
struct KeyParameters {
  int keyLength = kVantryKeyLength;
  int blockSize = kVantryBlockSize;
  int mode = MODE_ECB;
  int padding = PAD_ZERO;
  // blockSize bytes; nullptr: kVantryChainBlock followed by zero bytes.
  const unsigned char* chainBlock = nullptr;
};

// Keys cipher from the source with the parameters. Every copy of the key the keying makes is
// wiped, and the vector registers are cleared before it returns. Throws what SetKey throws, and
// CipherError(kIndistinctKey) as said above, before the cipher is changed.
VANTRY_API void KeyCipher(CRijndaelCipher& cipher, KeySource source, const void* key,
                          std::size_t length, const KeyParameters& parameters = KeyParameters());

}  // namespace vantry

#endif  // VANTRY_KEYING_H_
