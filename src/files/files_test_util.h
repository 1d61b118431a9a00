// Helpers of the protected-file tests (header only: a .cpp here would join the library).
#ifndef VANTRY_FILES_FILES_TEST_UTIL_H_
#define VANTRY_FILES_FILES_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/file_errors.h"
#include "support/messages.h"
#include "support/test_support.h"
#include "vantry/file_error.h"
#include "vantry/rijndael_cipher.h"

namespace vantry::test {

// The chain block every entry point keys with.
inline const Bytes kEntryChainBlock = FromHex("7E1BC45209A83FD6612C95E04B78D317");
// 32 bytes without a zero, so every parameter takes part in the key check digest.
inline const std::string kKeyText = "Vantry key text, 32 bytes long!!";
inline const std::string kOtherKeyText = "Another key text, 32 bytes long!";
// Its key check digest under the entry points' keying ends in a zero byte (and has no other),
// so a file of only the first 31 digest bytes reads, zero-filled, as the whole digest.
inline const std::string kZeroEndingDigestKeyText = "Vantry key 00277";

// Keyed as the entry points key: a 32-byte key buffer, 16-byte key and block, ECB, zero bytes.
inline std::unique_ptr<CRijndaelCipher> EntryCipher(const std::string& keyText = kKeyText) {
  unsigned char keyBuffer[32] = {};
  std::memcpy(keyBuffer, keyText.data(), keyText.size() < 32 ? keyText.size() : 32);
  auto cipher = std::make_unique<CRijndaelCipher>();
  cipher->SetKey(keyBuffer, 32, kEntryChainBlock.data(), 16, 16, MODE_ECB, PAD_ZERO);
  return cipher;
}

// Chain block of 32 distinct bytes; each keying uses its first blockSize bytes.
inline const Bytes kChainBlock32 =
    FromHex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F");

inline std::unique_ptr<CRijndaelCipher> KeyedCipher(std::int32_t keyLength, std::int32_t blockSize,
                                                    std::int32_t mode, std::int32_t padding,
                                                    const std::string& keyText = kKeyText) {
  auto cipher = std::make_unique<CRijndaelCipher>();
  cipher->SetKey(reinterpret_cast<const unsigned char*>(keyText.data()),
                 static_cast<std::int32_t>(keyText.size()), kChainBlock32.data(), keyLength,
                 blockSize, mode, padding);
  return cipher;
}

// The fill PadData appends to n bytes for the block size and padding mode.
inline Bytes Fill(std::size_t n, std::int32_t blockSize, std::int32_t padding) {
  const std::size_t rest = n % static_cast<std::size_t>(blockSize);
  if (rest == 0) {
    return {};
  }
  const std::size_t fill = static_cast<std::size_t>(blockSize) - rest;
  const unsigned char value = padding == PAD_ZERO    ? 0x00
                              : padding == PAD_SPACE ? 0x20
                                                     : static_cast<unsigned char>(fill);
  return Bytes(fill, value);
}

inline Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Bytes PatternBytes(std::size_t n, std::uint64_t seed = 1) {
  std::mt19937_64 rng(seed + n);
  return RandomBytes(rng, n);
}

// DecryptFromFile's result as bytes, freed.
inline Bytes LoadProtected(CRijndaelCipher& cipher, const std::string& fileName,
                           std::int32_t* length = nullptr) {
  std::int32_t localLength = -1;
  unsigned char* block = cipher.DecryptFromFile(fileName, &localLength);
  Bytes bytes(block, block + localLength);
  std::free(block);
  if (length != nullptr) {
    *length = localLength;
  }
  return bytes;
}

// Switches the simulated full disk on for one scope.
class WriteFault {
 public:
  explicit WriteFault(std::int64_t failAfterBytes) {
    platform::SetWriteFaultForTesting(failAfterBytes);
  }
  ~WriteFault() { platform::SetWriteFaultForTesting(-1); }
  WriteFault(const WriteFault&) = delete;
  WriteFault& operator=(const WriteFault&) = delete;
};

// The five operations that write a file, each run from a folder's prepared inputs: "plain"
// (dataSize bytes) and "protected" (that file saved with the cipher); outputSize holds for a
// dataSize that is a multiple of 16.
struct WritingOperation {
  const char* name;
  std::function<void(CRijndaelCipher&, const TempDir&, const std::string& output)> run;
  std::size_t outputSize;
  bool streamMessages;  // the stream pair reports "Cannot write File", the others a FileError
  bool plainOutput;
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
inline void PrintTo(const WritingOperation& c, std::ostream* os) { *os << c.name; }

inline std::vector<WritingOperation> WritingOperations(std::size_t dataSize) {
  using Dir = const TempDir&;
  using Out = const std::string&;
  return {
      {"EncryptToFile",
       [dataSize](CRijndaelCipher& c, Dir, Out out) {
         const Bytes data = PatternBytes(dataSize);
         c.EncryptToFile(data.data(), static_cast<std::int32_t>(data.size()), out);
       },
       32 + dataSize, false, false},
      {"EncryptFile",
       [](CRijndaelCipher& c, Dir d, Out out) { c.EncryptFile(d.File("plain"), out); },
       32 + dataSize, false, false},
      {"DecryptFile",
       [](CRijndaelCipher& c, Dir d, Out out) { c.DecryptFile(d.File("protected"), out); },
       32 + dataSize, false, true},
      {"EncryptFileStream",
       [](CRijndaelCipher& c, Dir d, Out out) { c.EncryptFileStream(d.File("plain"), out); },
       32 + dataSize, true, false},
      {"DecryptFileStream",
       [](CRijndaelCipher& c, Dir d, Out out) { c.DecryptFileStream(d.File("protected"), out); },
       dataSize, true, true},
  };
}

}  // namespace vantry::test

#endif  // VANTRY_FILES_FILES_TEST_UTIL_H_
