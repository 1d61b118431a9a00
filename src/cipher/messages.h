// The cipher layer's error messages, in one table. Hosts match these texts, blanks included,
// so they never change.
#ifndef VANTRY_CIPHER_MESSAGES_H_
#define VANTRY_CIPHER_MESSAGES_H_

#include <string>

namespace vantry {

enum class CipherMessage {
  kNotInitialized = 0,
  kIllegalMode,
  kIllegalPadding,
  kNoKeyData,
  kKeyDataLength,
  kIllegalBlockSize,
  kCannotOpenFile,  // + file name + "!"
  kSameFile,        // + file name + "!"
  kFilePrefix,      // + file name + kCannotDecrypt
  kCannotDecrypt,
  kIllegalKeyLength,   // stands outside the table of ten
  kCannotWriteFile,    // + file name + "!"; a failed write or close of a stream output
  kIllegalDataLength,  // PadData: a negative length, or one whose padded length overflows
};

const char* CipherMessageText(CipherMessage message) noexcept;

// Each throws a CipherError (vantry/cipher_error.h) of the message's kind.
// The text.
[[noreturn]] void ThrowCipherError(CipherMessage message);
// The text, then name, then "!".
[[noreturn]] void ThrowCipherFileError(CipherMessage message, const std::string& name);
// "Sealkit ERROR: File " + name + " cannot be Correctly Decrypted!", of kind kWrongKey.
[[noreturn]] void ThrowCannotDecrypt(const std::string& name);

}  // namespace vantry

#endif  // VANTRY_CIPHER_MESSAGES_H_
