#include <cstring>

#include "platform/secure_wipe.h"
#include "platform/vector_registers.h"
#include "vantry/rijndael_cipher.h"
#include "vantry/sha.h"

namespace vantry {
namespace {

// Writes value (non-negative: every parameter was checked by SetKey) in decimal without
// leading zeros, as "%d" would, and returns the position after it.
char* AppendDecimal(char* at, std::int32_t value) {
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  while (count > 0) {
    *at++ = digits[--count];
  }
  return at;
}

}  // namespace

// The digest heads every protected file, so its text is frozen: "RIJNDAEL", the raw key bytes,
// then block size, key length, mode and padding as decimal digits, hashed up to the first zero
// byte. A key with a zero byte therefore ends the hashed text early; files already written
// depend on exactly that, so it stays.
void CRijndaelCipher::GetKeyDigest(unsigned char* pDigest) {
  platform::VectorRegisterClearer registerClearer;  // the round keys stay in registers
  RequireKeyed();

  static constexpr char kTag[] = "RIJNDAEL";
  constexpr std::size_t kTagLength = sizeof kTag - 1;
  // Longest text: 8 + 32 + "323222" = 46 bytes, then the terminating zero.
  char text[48] = {};
  std::memcpy(text, kTag, kTagLength);
  std::memcpy(text + kTagLength, m_abKey, static_cast<std::size_t>(m_iKeyLength));
  char* digits = text + kTagLength + m_iKeyLength;
  digits = AppendDecimal(digits, m_iBlockSize);
  digits = AppendDecimal(digits, m_iKeyLength);
  digits = AppendDecimal(digits, m_iMode);
  AppendDecimal(digits, m_iPadding);

  const std::size_t hashedLength = std::strlen(text);  // at least 8: the tag has no zero
  CSHA hasher;
  hasher.AddData(reinterpret_cast<const unsigned char*>(text),
                 static_cast<std::int32_t>(hashedLength));
  hasher.FinalDigest(pDigest);
  platform::SecureWipe(text, sizeof text);
}

}  // namespace vantry
