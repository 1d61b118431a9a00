// CCipherHolder: the one object of an entry-point call. It owns the call's cipher, keys it with
// the library's fixed parameters and hands the save or load to the cipher's protected-file
// operations.
//
// The keying is the library's one keying (vantry/keying.h) with the fixed parameters every
// protected file of the entry points depends on.
#ifndef VANTRY_API_CIPHER_HOLDER_H_
#define VANTRY_API_CIPHER_HOLDER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "vantry/machine_key.h"
#include "vantry/rijndael_cipher.h"

namespace vantry {

class CCipherHolder {
 public:
  CCipherHolder() = default;
  virtual ~CCipherHolder();
  CCipherHolder(const CCipherHolder&) = delete;
  CCipherHolder& operator=(const CCipherHolder&) = delete;

  // The holder's cipher, created on first use and keyed again from keyText on every call.
  CBlockCipher* GetCipher(const std::string& keyText);

  // Keys the cipher and writes length bytes at data as the protected file fileName. A file of
  // the machine key (machineKey) is created owner-only: that key is no secret from the
  // machine's other users.
  void SaveBuffer(const unsigned char* data, std::int32_t length, std::string keyText,
                  std::string fileName, bool machineKey = false);

  // Keys the cipher and reads the protected file fileName into a new std::malloc block;
  // *outLength receives its length on success only.
  unsigned char* LoadBuffer(std::string fileName, std::int32_t* outLength, std::string keyText);

 private:
  // The holder always owns the cipher it made; there is no way to lend it one.
  std::unique_ptr<CRijndaelCipher> m_pCipher;
};

}  // namespace vantry

#endif  // VANTRY_API_CIPHER_HOLDER_H_
