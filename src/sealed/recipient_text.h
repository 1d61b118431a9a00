// The printable forms of recipients and identities: Bech32 (BIP 173's checksum, without its
// 90-character limit, as age writes its keys), so that a mistyped or cut key is refused rather
// than used. "vantry1..." is a recipient (a public key, to share); "VANTRY-SECRET-KEY-1..." an
// identity (a private key, to keep). This is an encoding, not cryptography.
#ifndef VANTRY_SEALED_RECIPIENT_TEXT_H_
#define VANTRY_SEALED_RECIPIENT_TEXT_H_

#include <cstddef>
#include <string>
#include <vector>

namespace vantry::sealed {

inline constexpr char kRecipientPart[] = "vantry";
inline constexpr char kIdentityPart[] = "vantry-secret-key-";

// Bech32 of data under the human-readable part (lower case).
std::string EncodeBech32(const std::string& part, const std::vector<unsigned char>& data);

// Decodes text (all lower or all upper case); false when the checksum, the characters or the
// padding are wrong.
bool DecodeBech32(const std::string& text, std::string& part, std::vector<unsigned char>& data);

// The texts of a 32-byte public key and private key.
std::string RecipientText(const unsigned char publicKey[32]);
std::string IdentityText(const unsigned char privateKey[32]);

// The 32-byte key of a recipient's or identity's text. Throws SealedError (kInvalidKey) that
// says what the text is not, without repeating an identity's text.
void ParseRecipientText(const std::string& text, unsigned char publicKey[32]);
void ParseIdentityText(const std::string& text, unsigned char privateKey[32]);

}  // namespace vantry::sealed

#endif  // VANTRY_SEALED_RECIPIENT_TEXT_H_
