#include "vantry/keying.h"

#include <cstring>
#include <string>

#include "api/key_text.h"
#include "api/secret_text.h"
#include "platform/secure_wipe.h"
#include "platform/vector_registers.h"
#include "vantry/cipher_error.h"
#include "vantry/machine_key.h"

namespace vantry {
namespace {

constexpr int kMaxChainBlock = 32;
constexpr int kMaxKeyLength = 32;

// The key buffer of a key text and the chain block, wiped however the keying ends.
struct KeyingBuffers {
  unsigned char key[kVantryKeyBufferSize] = {};
  unsigned char chain[kMaxChainBlock] = {};
  KeyingBuffers() = default;
  ~KeyingBuffers() { platform::SecureWipe(this, sizeof(*this)); }
  KeyingBuffers(const KeyingBuffers&) = delete;
  KeyingBuffers& operator=(const KeyingBuffers&) = delete;
};

// The key bytes the cipher keeps are the data repeated up to keyLength (as SetKey builds
// them); the key check hashes them up to their first zero byte.
void RequireDistinctKey(const unsigned char* data, std::size_t length, int keyLength) {
  bool zeroSeen = false;
  // A length SetKey refuses is left to SetKey to report.
  for (int i = 0; i < keyLength && i < kMaxKeyLength; ++i) {
    const unsigned char byte = data[static_cast<std::size_t>(i) % length];
    if (byte == 0) {
      zeroSeen = true;
    } else if (zeroSeen) {
      throw CipherError(CipherError::Kind::kIndistinctKey,
                        "Sealkit ERROR: the key data holds a byte other than zero after a zero "
                        "byte; the key check ends at the first zero byte and could not tell "
                        "this key from others!");
    }
  }
}

}  // namespace

void KeyCipher(CRijndaelCipher& cipher, KeySource source, const void* key, std::size_t length,
               const KeyParameters& parameters) {
  platform::VectorRegisterClearer registerClearer;  // key bytes pass through them
  KeyingBuffers buffers;
  std::memcpy(buffers.chain, kVantryChainBlock, sizeof kVantryChainBlock);
  if (parameters.chainBlock != nullptr && parameters.blockSize > 0 &&
      parameters.blockSize <= kMaxChainBlock) {
    std::memcpy(buffers.chain, parameters.chainBlock,
                static_cast<std::size_t>(parameters.blockSize));
  }
  const auto keyWith = [&](const unsigned char* data, std::size_t n) {
    cipher.SetKey(data, static_cast<std::int32_t>(n), buffers.chain, parameters.keyLength,
                  parameters.blockSize, parameters.mode, parameters.padding);
  };
  const auto keyText = [&](const char* text, std::size_t n) {
    FillKeyBuffer(text, n, buffers.key);
    keyWith(buffers.key, sizeof buffers.key);
  };
  switch (source) {
    case KeySource::kText:
      keyText(static_cast<const char*>(key), key == nullptr ? 0 : length);
      return;
    case KeySource::kMachine: {
      std::string text = GetMachineKey();
      SecretTextWiper wiper(text);
      keyText(text.data(), text.size());
      return;
    }
    case KeySource::kRawBytes: {
      const auto* data = static_cast<const unsigned char*>(key);
      // SetKey refuses missing or empty key data with its own errors.
      if (data != nullptr && length > 0) {
        RequireDistinctKey(data, length, parameters.keyLength);
      }
      keyWith(data, length);
      return;
    }
  }
}

}  // namespace vantry
