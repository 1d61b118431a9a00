#include <cstdio>
#include <cstring>

#include "platform/secure_wipe.h"
#include "vantry/rijndael_cipher.h"
#include "vantry/sha.h"

namespace vantry {

// The digest heads every protected file, so its text is frozen: "RIJNDAEL", the raw key bytes,
// then block size, key length, mode and padding as decimal digits, hashed up to the first zero
// byte. A key with a zero byte therefore ends the hashed text early; files already written
// depend on exactly that, so it stays.
void CRijndaelCipher::GetKeyDigest(unsigned char* pDigest) {
  RequireKeyed();

  static constexpr char kTag[] = "RIJNDAEL";
  constexpr std::size_t kTagLength = sizeof kTag - 1;
  constexpr std::size_t kTextSize = 48;  // longest text: 8 + 32 + "323222" + zero = 47

  char text[kTextSize] = {};
  std::memcpy(text, kTag, kTagLength);
  const auto keyLength = static_cast<std::size_t>(m_iKeyLength);
  std::memcpy(text + kTagLength, m_abKey, keyLength);
  const std::size_t digitsAt = kTagLength + keyLength;
  std::snprintf(text + digitsAt, kTextSize - digitsAt, "%d%d%d%d", static_cast<int>(m_iBlockSize),
                static_cast<int>(m_iKeyLength), static_cast<int>(m_iMode),
                static_cast<int>(m_iPadding));

  const std::size_t hashedLength = std::strlen(text);  // never below 8: the tag has no zero
  CSHA hasher;
  hasher.AddData(reinterpret_cast<const unsigned char*>(text),
                 static_cast<std::int32_t>(hashedLength));
  hasher.FinalDigest(pDigest);
  platform::SecureWipe(text, sizeof text);
}

}  // namespace vantry
