// The text form of a sealed file, for mail, pastes and terminals: the binary file in base64
// (RFC 4648's alphabet, padded) in lines of 64 characters between a begin and an end line, each
// line ended by LF alone (docs/sealed-format.md, "Armor"). Reading is strict: one way to write
// a file means one way to read it, and anything else is refused with the line that is wrong
// rather than guessed at. Both directions stream in fixed memory. Base64 is an encoding, not
// cryptography: what it carries is authenticated by the unsealer after it.
#ifndef VANTRY_SEALED_ARMOR_H_
#define VANTRY_SEALED_ARMOR_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "vantry/byte_io.h"

namespace vantry::sealed {

inline constexpr char kArmorBegin[] = "-----BEGIN VANTRY SEALED FILE-----";
inline constexpr char kArmorEnd[] = "-----END VANTRY SEALED FILE-----";
inline constexpr std::size_t kArmorColumns = 64;
// The bytes one full line carries.
inline constexpr std::size_t kArmorLineBytes = kArmorColumns / 4 * 3;

// Base64 of n bytes into out: 4 characters for each 3 bytes or part of 3, padded with '='.
void EncodeBase64(const unsigned char* in, std::size_t n, char* out) noexcept;

// The bytes of the size characters at text when they are canonical base64 (whole groups of 4,
// '=' only as the padding of the last group, the bits that padding leaves unused zero): writes
// them to out and returns how many; -1 for anything else.
long DecodeBase64(const char* text, std::size_t size, unsigned char* out) noexcept;

// The bytes of a sealed file as the unsealer reads them, from input in either form: a binary
// file passes through as it is; an armored one (input starts "-----BEGIN ") is decoded as it
// streams. Throws SealedError naming name for armor that is not exactly what a writer makes
// (kNotSealed for another begin line, kDamaged with the line number, kTruncated for a file
// that ends before its end line), and the FileErrors of input. The end of the data is reported
// only once the end line, and that nothing follows it, checked: the unsealer, which knows the
// last segment by the end of the data, never releases it from a file whose armor is refused.
class SealedInput : public ByteReader {
 public:
  SealedInput(ByteReader& input, const std::string& name);
  std::size_t ReadSome(void* buffer, std::size_t n) override;
  bool armored() const noexcept { return m_armored; }

 private:
  static constexpr std::size_t kPeekSize = 11;  // "-----BEGIN "
  // One line as read: at most kArmorColumns + 2 characters are kept, which is enough to tell a
  // line that is too long.
  struct Line {
    char text[kArmorColumns + 3];
    std::size_t size = 0;
    bool ended = false;    // by LF (else by the end of input)
    bool tooLong = false;  // more characters followed text
    std::uint64_t number = 0;
  };
  int NextByte();
  void ReadLine(Line& line);
  void ReadBeginLine();
  // Decodes the next line into m_decoded; false at the end line.
  bool DecodeNextLine();
  // The line after a short one, or after one with padding: it must be the end line.
  void ExpectEndLine(const Line& last);
  void CheckAfterEndLine(const Line& end);
  // Whether line is the end line. Refuses one that starts as only the end line may but is not
  // it, one in CR LF, and an end of input before the end line is whole.
  bool IsEndLine(const Line& line) const;
  [[noreturn]] void Damaged(std::uint64_t line, const std::string& what) const;
  [[noreturn]] void Truncated(const Line& line) const;

  ByteReader& m_input;
  std::string m_name;
  bool m_armored = false;
  unsigned char m_peek[kPeekSize];
  std::size_t m_peekSize = 0;
  std::size_t m_peekAt = 0;
  unsigned char m_raw[4096];
  std::size_t m_rawAt = 0;
  std::size_t m_rawEnd = 0;
  bool m_inputEnded = false;
  std::uint64_t m_lines = 0;
  Line m_line;
  Line m_next;
  unsigned char m_decoded[kArmorLineBytes];
  std::size_t m_decodedAt = 0;
  std::size_t m_decodedEnd = 0;
  bool m_anyData = false;
  bool m_done = false;
};

}  // namespace vantry::sealed

#endif  // VANTRY_SEALED_ARMOR_H_
