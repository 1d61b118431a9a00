// CipherError: a failure of the cipher or of a protected-file operation that is not a file
// error, with its kind.
//
// It is a std::runtime_error whose what() is the library's message, unchanged to the byte
// ("Illegal Block Size!", "Sealkit ERROR: File notes.vty cannot be Correctly Decrypted!", ...),
// so a host that catches std::runtime_error and reads the text sees what it always saw. Code
// that must tell failures apart switches on kind() instead of comparing texts.
#ifndef VANTRY_CIPHER_ERROR_H_
#define VANTRY_CIPHER_ERROR_H_

#include <stdexcept>
#include <string>

#include "vantry/export.h"

namespace vantry {

class VANTRY_API CipherError : public std::runtime_error {
 public:
  enum class Kind {
    kNotInitialized,     // used before SetKey
    kIllegalMode,        // SetKey: a mode other than MODE_*
    kIllegalPadding,     // SetKey: a padding other than PAD_*
    kNoKeyData,          // SetKey: no key data
    kKeyDataLength,      // SetKey: a key data length below 1
    kIllegalKeyLength,   // SetKey: a key length other than 16, 24 or 32
    kIllegalBlockSize,   // a block size other than 16, 24 or 32, or cipher text that is not
                         // whole blocks
    kIllegalDataLength,  // PadData: a negative length, or one whose padding overflows
    kCannotOpenFile,     // EncryptFileStream/DecryptFileStream: an input or output not opened
    kCannotWriteFile,    // EncryptFileStream/DecryptFileStream: an output not written
    kSameFile,           // EncryptFileStream/DecryptFileStream: one file for input and output
    kWrongKey,           // another key's file, or no protected file ("cannot be Correctly
                         // Decrypted!")
    kIndistinctKey,      // raw key data the key check cannot tell from other keys (a byte
                         // that is not zero after a zero byte)
  };

  CipherError(Kind kind, const std::string& message);
  ~CipherError() override;

  Kind kind() const noexcept { return m_kind; }

 private:
  Kind m_kind;
};

}  // namespace vantry

#endif  // VANTRY_CIPHER_ERROR_H_
