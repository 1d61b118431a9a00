// CBlockCipher: the abstract cipher through which every caller reaches the library's cipher.
//
// The order of the virtual operations below is the order of the dispatch table and is part of
// the binary interface: hosts built against an earlier library call through these slots. Never
// reorder them, never insert one in between; new operations go after ResetChainBlock.
#ifndef VANTRY_BLOCK_CIPHER_H_
#define VANTRY_BLOCK_CIPHER_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "vantry/export.h"

// <windows.h> defines EncryptFile and DecryptFile as macros for the Win32 functions
// EncryptFileA/W and DecryptFileA/W. Within this header they are set aside, so the class is
// declared with its own names whatever the host included before; the host's macros come back
// at the end. Calls a host writes after including <windows.h> are still rewritten to the A or
// W spelling: the members at the end of the class answer to those.
#if defined(_WIN32)
#include <utility>
#pragma push_macro("EncryptFile")
#pragma push_macro("DecryptFile")
#undef EncryptFile
#undef DecryptFile
#endif

namespace vantry {

class VANTRY_API CBlockCipher {
 public:
  CBlockCipher() = default;
  CBlockCipher(const CBlockCipher&) = delete;
  CBlockCipher& operator=(const CBlockCipher&) = delete;

  // Slot 1.
  virtual ~CBlockCipher();

  // Slot 2. Writes the 32-byte key check digest of the key and parameters to pDigest.
  // Throws the not-initialised error on an unkeyed object.
  virtual void GetKeyDigest(unsigned char* pDigest) = 0;

  // Slot 3. Decrypts the protected file inputName into the plain file outputName.
  virtual void DecryptFile(std::string inputName, std::string outputName) = 0;

  // Slot 4. Reads the protected file fileName into a new block allocated with std::malloc
  // (the caller frees it with std::free). The block holds the decrypted data, its padding and
  // 32 zero bytes; *pOutLength receives its length, the file's size, on success only.
  virtual unsigned char* DecryptFromFile(std::string fileName, std::int32_t* pOutLength) = 0;

  // Slot 5. Encrypts the plain file inputName into the protected file outputName.
  virtual void EncryptFile(std::string inputName, std::string outputName) = 0;

  // Slot 6. Writes iLength bytes at pData as the protected file fileName.
  virtual void EncryptToFile(const unsigned char* pData, std::int32_t iLength,
                             std::string fileName) = 0;

  // Slots 7 and 8. Transform n bytes, a non-zero multiple of the block size, in the chaining
  // mode of the key; the chain carries over from one call to the next. in and out may be the
  // same buffer.
  virtual void Encrypt(const unsigned char* in, unsigned char* out, std::size_t n) = 0;
  virtual void Decrypt(const unsigned char* in, unsigned char* out, std::size_t n) = 0;

  // Slots 9 and 10. Streaming counterparts of EncryptFile and DecryptFile: memory stays fixed
  // whatever the size of the files.
  virtual void EncryptFileStream(const std::string& inputName, const std::string& outputName) = 0;
  virtual void DecryptFileStream(const std::string& inputName, const std::string& outputName) = 0;

  // Slot 11. Restores the working chain block from the chain block given when keying.
  virtual void ResetChainBlock() = 0;

 protected:
  // Set by a successful keying of the implementation, never cleared.
  bool m_bInitialized = false;

#if defined(_WIN32)
 public:
  // EncryptFile and DecryptFile as a host that included <windows.h> spells them, ANSI and
  // UNICODE builds alike. Not virtual: the slots above stay as they are.
  void EncryptFileA(std::string inputName, std::string outputName) {
    EncryptFile(std::move(inputName), std::move(outputName));
  }
  void EncryptFileW(std::string inputName, std::string outputName) {
    EncryptFile(std::move(inputName), std::move(outputName));
  }
  void DecryptFileA(std::string inputName, std::string outputName) {
    DecryptFile(std::move(inputName), std::move(outputName));
  }
  void DecryptFileW(std::string inputName, std::string outputName) {
    DecryptFile(std::move(inputName), std::move(outputName));
  }
#endif
};

}  // namespace vantry

#if defined(_WIN32)
#pragma pop_macro("DecryptFile")
#pragma pop_macro("EncryptFile")
#endif

#endif  // VANTRY_BLOCK_CIPHER_H_
