#include "sealed/armor.h"

#include <algorithm>
#include <cstring>

#include "vantry/sealed.h"

namespace vantry::sealed {
namespace {
using Kind = SealedError::Kind;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Each byte's value as a base64 digit, -1 for a byte outside the alphabet.
struct DigitTable {
  signed char value[256];
  constexpr DigitTable() : value() {
    for (signed char& v : value) {
      v = -1;
    }
    for (int i = 0; i < 64; ++i) {
      value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    }
  }
};
constexpr DigitTable kDigits;

int DigitValue(char c) noexcept { return kDigits.value[static_cast<unsigned char>(c)]; }

const char kCrLf[] =
    "it ends in CR LF: a copy in text mode changed its line ends, and an armored sealed file's "
    "lines end in LF alone (dos2unix converts them back)";
const char kNotCanonical[] =
    "its base64 is not canonical ('=' pads the last group only, and the bits it leaves over are "
    "zero)";

bool EndsInCr(const char* text, std::size_t size, bool ended) noexcept {
  return ended && size > 0 && text[size - 1] == '\r';
}

bool Equals(const char* text, std::size_t size, const char* expected) noexcept {
  return size == std::strlen(expected) && std::memcmp(text, expected, size) == 0;
}

bool IsPrefixOf(const char* text, std::size_t size, const char* whole) noexcept {
  return size <= std::strlen(whole) && std::memcmp(text, whole, size) == 0;
}

}  // namespace

void EncodeBase64(const unsigned char* in, std::size_t n, char* out) noexcept {
  for (; n >= 3; n -= 3, in += 3, out += 4) {
    out[0] = kAlphabet[in[0] >> 2];
    out[1] = kAlphabet[((in[0] & 0x03) << 4) | (in[1] >> 4)];
    out[2] = kAlphabet[((in[1] & 0x0F) << 2) | (in[2] >> 6)];
    out[3] = kAlphabet[in[2] & 0x3F];
  }
  if (n > 0) {
    const unsigned second = n == 2 ? in[1] : 0;
    out[0] = kAlphabet[in[0] >> 2];
    out[1] = kAlphabet[((in[0] & 0x03) << 4) | (second >> 4)];
    out[2] = n == 2 ? kAlphabet[(second & 0x0F) << 2] : '=';
    out[3] = '=';
  }
}

long DecodeBase64(const char* text, std::size_t size, unsigned char* out) noexcept {
  if (size % 4 != 0) {
    return -1;
  }
  long written = 0;
  for (std::size_t at = 0; at < size; at += 4) {
    const bool lastGroup = at + 4 == size;
    const std::size_t padding =
        lastGroup ? (text[at + 3] == '=' ? 1 : 0) + (text[at + 2] == '=' ? 1 : 0) : 0;
    int digits[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < 4 - padding; ++i) {
      digits[i] = DigitValue(text[at + i]);
      if (digits[i] < 0) {
        return -1;  // an '=' before the padding, or a byte outside the alphabet
      }
    }
    // "x=y=" is not padding; nor is a third '='.
    if (padding == 1 && text[at + 2] == '=') {
      return -1;
    }
    const unsigned group =
        (static_cast<unsigned>(digits[0]) << 18) | (static_cast<unsigned>(digits[1]) << 12) |
        (static_cast<unsigned>(digits[2]) << 6) | static_cast<unsigned>(digits[3]);
    // The bits the padding leaves over must be zero, or several texts would be one file.
    if ((padding == 2 && (group & 0xFFFF) != 0) || (padding == 1 && (group & 0xFF) != 0)) {
      return -1;
    }
    out[written++] = static_cast<unsigned char>(group >> 16);
    if (padding < 2) {
      out[written++] = static_cast<unsigned char>(group >> 8);
    }
    if (padding < 1) {
      out[written++] = static_cast<unsigned char>(group);
    }
  }
  return written;
}

SealedInput::SealedInput(ByteReader& input, const std::string& name)
    : m_input(input), m_name(name) {
  m_peekSize = m_input.ReadFull(m_peek, kPeekSize);
  m_armored = m_peekSize == kPeekSize && std::memcmp(m_peek, "-----BEGIN ", kPeekSize) == 0;
  if (m_armored) {
    ReadBeginLine();
  }
}

int SealedInput::NextByte() {
  if (m_peekAt < m_peekSize) {
    return m_peek[m_peekAt++];
  }
  if (m_rawAt == m_rawEnd) {
    if (m_inputEnded) {
      return -1;
    }
    m_rawAt = 0;
    m_rawEnd = m_input.ReadSome(m_raw, sizeof m_raw);
    if (m_rawEnd == 0) {
      m_inputEnded = true;
      return -1;
    }
  }
  return m_raw[m_rawAt++];
}

void SealedInput::ReadLine(Line& line) {
  line.size = 0;
  line.ended = false;
  line.tooLong = false;
  line.number = ++m_lines;
  for (int c; (c = NextByte()) != -1;) {
    if (c == '\n') {
      line.ended = true;
      return;
    }
    if (line.size == sizeof line.text) {
      line.tooLong = true;
      return;
    }
    line.text[line.size++] = static_cast<char>(c);
  }
}

bool SealedInput::IsEndLine(const Line& line) const {
  const bool whole = !line.tooLong && Equals(line.text, line.size, kArmorEnd);
  if (!whole && !line.ended && !line.tooLong && IsPrefixOf(line.text, line.size, kArmorEnd)) {
    Truncated(line);
  }
  if (EndsInCr(line.text, line.size, line.ended)) {
    Damaged(line.number, kCrLf);
  }
  if (!whole && line.size > 0 && line.text[0] == '-') {
    Damaged(line.number, std::string("it is not the end line \"") + kArmorEnd + "\"");
  }
  return whole;
}

void SealedInput::Damaged(std::uint64_t line, const std::string& what) const {
  throw SealedError(Kind::kDamaged, m_name + " is damaged at line " + std::to_string(line) +
                                        " of its armor: " + what);
}

void SealedInput::Truncated(const Line& line) const {
  const std::uint64_t last = line.size == 0 && !line.tooLong ? line.number - 1 : line.number;
  throw SealedError(Kind::kTruncated, m_name + " is truncated: it ends at line " +
                                          std::to_string(last) + ", before its end line \"" +
                                          kArmorEnd + "\" (the copy was cut short)");
}

void SealedInput::ReadBeginLine() {
  ReadLine(m_line);
  if (!m_line.tooLong && Equals(m_line.text, m_line.size, kArmorBegin) && m_line.ended) {
    return;
  }
  if (EndsInCr(m_line.text, m_line.size, m_line.ended) &&
      Equals(m_line.text, m_line.size - 1, kArmorBegin)) {
    Damaged(1, kCrLf);
  }
  if (!m_line.ended && !m_line.tooLong && IsPrefixOf(m_line.text, m_line.size, kArmorBegin)) {
    Truncated(m_line);
  }
  throw SealedError(Kind::kNotSealed, m_name + " is not a sealed file: its first line is not \"" +
                                          kArmorBegin + "\"");
}

bool SealedInput::DecodeNextLine() {
  Line& line = m_line;
  ReadLine(line);
  if (IsEndLine(line)) {
    if (!m_anyData) {
      Damaged(line.number, "there is no base64 between the begin and end lines");
    }
    CheckAfterEndLine(line);
    return false;
  }
  if (line.size == 0) {
    Damaged(line.number, "the line is empty");
  }
  for (std::size_t i = 0; i < std::min(line.size, kArmorColumns); ++i) {
    if (line.text[i] != '=' && DigitValue(line.text[i]) < 0) {
      Damaged(line.number, "column " + std::to_string(i + 1) + " holds a byte that is not base64");
    }
  }
  if (line.tooLong || line.size > kArmorColumns) {
    Damaged(line.number, "it has more than " + std::to_string(kArmorColumns) + " characters");
  }
  if (!line.ended) {
    Truncated(line);
  }
  m_anyData = true;
  m_decodedAt = 0;
  if (line.size == kArmorColumns && line.text[kArmorColumns - 1] != '=') {
    // A full line without padding: more lines, or the end line, follow.
    const long decoded = DecodeBase64(line.text, line.size, m_decoded);
    if (decoded < 0) {
      Damaged(line.number, kNotCanonical);
    }
    m_decodedEnd = static_cast<std::size_t>(decoded);
    return true;
  }
  ExpectEndLine(line);
  return true;
}

void SealedInput::ExpectEndLine(const Line& last) {
  Line& end = m_next;
  ReadLine(end);
  if (!IsEndLine(end)) {
    Damaged(last.number, last.size < kArmorColumns
                             ? "it has " + std::to_string(last.size) +
                                   " characters, and only the last line of base64 may have "
                                   "fewer than " +
                                   std::to_string(kArmorColumns)
                             : std::string("its padding comes before the last line"));
  }
  if (last.size % 4 != 0) {
    Damaged(last.number, "its " + std::to_string(last.size) +
                             " characters are not whole groups of 4 base64 characters");
  }
  const long decoded = DecodeBase64(last.text, last.size, m_decoded);
  if (decoded < 0) {
    Damaged(last.number, kNotCanonical);
  }
  m_decodedEnd = static_cast<std::size_t>(decoded);
  CheckAfterEndLine(end);
}

void SealedInput::CheckAfterEndLine(const Line& end) {
  if (end.ended && NextByte() != -1) {
    Damaged(end.number + 1, "something follows the end line");
  }
  m_done = true;
}

std::size_t SealedInput::ReadSome(void* buffer, std::size_t n) {
  auto* out = static_cast<unsigned char*>(buffer);
  if (!m_armored) {
    if (m_peekAt < m_peekSize) {
      const std::size_t take = std::min(n, m_peekSize - m_peekAt);
      std::memcpy(out, m_peek + m_peekAt, take);
      m_peekAt += take;
      return take;
    }
    return m_input.ReadSome(buffer, n);
  }
  std::size_t given = 0;
  while (given < n) {
    if (m_decodedAt == m_decodedEnd && (m_done || !DecodeNextLine())) {
      break;
    }
    const std::size_t take = std::min(n - given, m_decodedEnd - m_decodedAt);
    std::memcpy(out + given, m_decoded + m_decodedAt, take);
    m_decodedAt += take;
    given += take;
  }
  return given;
}

}  // namespace vantry::sealed

namespace vantry {

struct ArmoringWriter::State {
  explicit State(ByteWriter& out) : output(out) {
    Append(sealed::kArmorBegin, std::strlen(sealed::kArmorBegin));
    Append("\n", 1);
  }
  void Append(const char* text, std::size_t n) {
    if (size + n > sizeof lines) {
      Flush();
    }
    std::memcpy(lines + size, text, n);
    size += n;
  }
  void EncodeHeld() {
    char line[sealed::kArmorColumns + 1];
    const std::size_t columns = (held + 2) / 3 * 4;
    sealed::EncodeBase64(bytes, held, line);
    line[columns] = '\n';
    Append(line, columns + 1);
    held = 0;
  }
  void Flush() {
    output.Write(lines, size);
    size = 0;
  }

  ByteWriter& output;
  unsigned char bytes[sealed::kArmorLineBytes];
  std::size_t held = 0;
  char lines[4096];
  std::size_t size = 0;
  bool finished = false;
};

ArmoringWriter::ArmoringWriter(ByteWriter& output) : m_state(new State(output)) {}

ArmoringWriter::~ArmoringWriter() { delete m_state; }

void ArmoringWriter::Write(const void* data, std::size_t n) {
  State& s = *m_state;
  const auto* p = static_cast<const unsigned char*>(data);
  while (n > 0) {
    const std::size_t take = std::min(n, sizeof s.bytes - s.held);
    std::memcpy(s.bytes + s.held, p, take);
    s.held += take;
    p += take;
    n -= take;
    if (s.held == sizeof s.bytes) {
      s.EncodeHeld();
    }
  }
}

void ArmoringWriter::Finish() {
  State& s = *m_state;
  if (s.finished) {
    return;
  }
  if (s.held > 0) {
    s.EncodeHeld();
  }
  s.Append(sealed::kArmorEnd, std::strlen(sealed::kArmorEnd));
  s.Append("\n", 1);
  s.Flush();
  s.finished = true;
}

void ArmoringWriter::Commit() {
  Finish();
  m_state->output.Commit();
}

}  // namespace vantry
