// CRijndaelCipher: Rijndael with 16-, 24- and 32-byte keys and blocks (AES for 16-byte blocks),
// three chaining modes and three paddings, and the protected-file operations.
//
// Usage: construct, SetKey, then use the object through CBlockCipher. One object serves one
// thread at a time: the chaining modes and the general block path keep state in the object.
// The destructor wipes every key byte, round key, chain block and scratch word.
//
// Where the members are defined. The class is declared once, here, but its code lives in two
// folders of the library: the cipher proper in src/cipher, the six protected-file operations in
// src/files, which needs the cipher (and io, platform) rather than the other way round. The
// virtual table names all of them, so a program that makes a CRijndaelCipher links both
// folders: that link is the one cycle between them, and it stays at the link level (no source
// of src/cipher includes src/files).
//   src/cipher/rijndael_cipher.cpp       construction, destruction, ResetChainBlock
//   src/cipher/rijndael_key_schedule.cpp SetKey and the expansion
//   src/cipher/rijndael_key_digest.cpp   GetKeyDigest
//   src/cipher/rijndael_block.cpp        EncryptBlock*, DecryptBlock*, the block paths
//   src/cipher/rijndael_modes.cpp        Encrypt, Decrypt, XorWithBlock, PadData
//   src/files/protected_file.cpp         EncryptToFile, DecryptFromFile
//   src/files/file_to_file.cpp           EncryptFile, DecryptFile
//   src/files/file_stream.cpp            EncryptFileStream, DecryptFileStream
#ifndef VANTRY_RIJNDAEL_CIPHER_H_
#define VANTRY_RIJNDAEL_CIPHER_H_

#include <cstddef>
#include <cstdint>
#include <string>

// <windows.h> defines EncryptFile and DecryptFile as macros: within this header they are set
// aside, as in block_cipher.h, whose class answers to the A and W spellings too.
#if defined(_WIN32)
#pragma push_macro("EncryptFile")
#pragma push_macro("DecryptFile")
#undef EncryptFile
#undef DecryptFile
#endif

#include "vantry/block_cipher.h"
#include "vantry/export.h"

namespace vantry {

// Chaining modes.
inline constexpr int MODE_ECB = 0;  // every block on its own
inline constexpr int MODE_CBC = 1;  // cipher block chaining
inline constexpr int MODE_CFB = 2;  // full-block cipher feedback

// Paddings of the last, short piece of a stream.
inline constexpr int PAD_ZERO = 0;   // 00 bytes
inline constexpr int PAD_SPACE = 1;  // 20 bytes, the ASCII space
inline constexpr int PAD_COUNT = 2;  // bytes holding the number of bytes added

class VANTRY_API CRijndaelCipher : public CBlockCipher {
 public:
  CRijndaelCipher();
  ~CRijndaelCipher() override;

  // Checks, in this order: keyData not null; keyDataLength >= 1; keyLength and then blockSize
  // one of 16, 24, 32; mode and then padding from 0 to 2. A refused call changes nothing.
  // Key byte i is keyData[i % keyDataLength]. chainBlock must hold blockSize bytes; it is
  // copied, never kept. A null chainBlock stands for a chain block of zero bytes.
  void SetKey(const unsigned char* keyData, std::int32_t keyDataLength,
              const unsigned char* chainBlock, std::int32_t keyLength, std::int32_t blockSize,
              std::int32_t mode, std::int32_t padding);

  // CBlockCipher.
  void GetKeyDigest(unsigned char* pDigest) override;
  void DecryptFile(std::string inputName, std::string outputName) override;
  unsigned char* DecryptFromFile(std::string fileName, std::int32_t* pOutLength) override;
  void EncryptFile(std::string inputName, std::string outputName) override;
  void EncryptToFile(const unsigned char* pData, std::int32_t iLength,
                     std::string fileName) override;
  void Encrypt(const unsigned char* in, unsigned char* out, std::size_t n) override;
  void Decrypt(const unsigned char* in, unsigned char* out, std::size_t n) override;
  void EncryptFileStream(const std::string& inputName, const std::string& outputName) override;
  void DecryptFileStream(const std::string& inputName, const std::string& outputName) override;
  void ResetChainBlock() override;

  // One block of m_iBlockSize bytes; in and out may be the same block. The 128 variants serve
  // a key made for 16-byte blocks only and refuse any other with "Illegal Block Size!".
  void EncryptBlock(const unsigned char* in, unsigned char* out);
  void DecryptBlock(const unsigned char* in, unsigned char* out);
  void EncryptBlock128(const unsigned char* in, unsigned char* out);
  void DecryptBlock128(const unsigned char* in, unsigned char* out);

  // dst ^= src over one block.
  void XorWithBlock(unsigned char* dst, const unsigned char* src);

  // Pads the len bytes at buf up to the next multiple of the block size (nothing when len is
  // one already) and returns the new length; buf needs room for m_iBlockSize - 1 more bytes.
  // A negative len, or one whose padded length would not fit in 32 bits, is refused.
  std::int32_t PadData(unsigned char* buf, std::int32_t len);

 protected:
  // The general block path, for any block size including 16. Ordinary calls take it only for
  // 24- and 32-byte blocks; it is reachable here so that tests can hold the unrolled 16-byte
  // path against it.
  void EncryptBlockGeneral(const unsigned char* in, unsigned char* out);
  void DecryptBlockGeneral(const unsigned char* in, unsigned char* out);
  // Sends every block of the current keying through the general path, 16-byte blocks included,
  // until the next SetKey; lets whole-buffer vectors run through it.
  void UseGeneralBlockPath();

  std::int32_t m_iBlockSize = 0;
  std::int32_t m_iKeyLength = 0;
  std::int32_t m_iMode = 0;
  std::int32_t m_iPadding = 0;
  unsigned char m_abKey[32] = {};
  std::uint32_t m_aiEncRoundKeys[15][8] = {};
  std::uint32_t m_aiDecRoundKeys[15][8] = {};
  std::int32_t m_iRounds = 0;
  unsigned char m_abInitialChain[32] = {};
  unsigned char m_abChain[32] = {};
  std::uint32_t m_aiKeyWords[8] = {};
  std::uint32_t m_aiTemp[8] = {};
  std::uint32_t m_aiState[8] = {};

  // For state rows 1 to 3 and each output column i: the column that row's byte is taken from,
  // (i + shift offset) mod BC. Computed once per keying so the rounds need no modulo.
  std::int32_t m_aiEncSourceColumn[3][8] = {};
  std::int32_t m_aiDecSourceColumn[3][8] = {};

  // The round keys in the layout the processor's AES instructions take (up to 15 keys of 16
  // bytes), filled by SetKey when 16-byte blocks run on AES-NI and zero otherwise. The
  // decryption keys are the rows of m_aiDecRoundKeys, already in the form AESDEC wants.
  unsigned char m_abAesNiEncKeys[240] = {};
  unsigned char m_abAesNiDecKeys[240] = {};

  // Whether 16-byte blocks of the current keying run on the AES instructions.
  bool UsesAesNi() const noexcept;

 private:
  // The code that transforms one block, chosen by SetKey: 16-byte blocks run on the AES
  // instructions when the processor has them (src/cipher/aes_ni/), else on the unrolled table
  // path; wider blocks always take the general path. On the AES instructions, ECB runs take the
  // vector AES kernels where the processor has them (kAesNiVaes256, kAesNiVaes512).
  enum class BlockPath : std::int32_t { kGeneral, kTable128, kAesNi, kAesNiVaes256, kAesNiVaes512 };

  void RequireKeyed() const;
  void RequireBlockSize128() const;
  void ExpandKey();
  void ComputeSourceColumns();

  // Unchecked transforms: callers have made sure the object is keyed.
  void EncryptOneBlock(const unsigned char* in, unsigned char* out);
  void DecryptOneBlock(const unsigned char* in, unsigned char* out);
  void EncryptTable128(const unsigned char* in, unsigned char* out) const;
  void DecryptTable128(const unsigned char* in, unsigned char* out) const;
  void EncryptGeneral(const unsigned char* in, unsigned char* out);
  void DecryptGeneral(const unsigned char* in, unsigned char* out);

  BlockPath m_eBlockPath = BlockPath::kGeneral;
};

}  // namespace vantry

#if defined(_WIN32)
#pragma pop_macro("DecryptFile")
#pragma pop_macro("EncryptFile")
#endif

#endif  // VANTRY_RIJNDAEL_CIPHER_H_
