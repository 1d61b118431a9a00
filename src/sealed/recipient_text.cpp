#include "sealed/recipient_text.h"

#include <cstdint>
#include <cstring>

#include "platform/secure_wipe.h"
#include "vantry/sealed.h"

namespace vantry::sealed {
namespace {

const char kCharset[] = "qpzry9x8gf2tvdw0s3jn54khce6mua7l";

std::uint32_t PolyMod(const std::vector<unsigned char>& values) {
  static const std::uint32_t kGenerator[5] = {0x3b6a57b2, 0x26508e6d, 0x1ea119fa, 0x3d4233dd,
                                              0x2a1462b3};
  std::uint32_t check = 1;
  for (unsigned char value : values) {
    const std::uint32_t top = check >> 25;
    check = ((check & 0x1ffffff) << 5) ^ value;
    for (int i = 0; i < 5; ++i) {
      check ^= ((top >> i) & 1) ? kGenerator[i] : 0;
    }
  }
  return check;
}

// The human-readable part as the checksum sees it: high bits, a zero, low bits.
std::vector<unsigned char> Expanded(const std::string& part) {
  std::vector<unsigned char> out;
  for (char c : part) {
    out.push_back(static_cast<unsigned char>(static_cast<unsigned char>(c) >> 5));
  }
  out.push_back(0);
  for (char c : part) {
    out.push_back(static_cast<unsigned char>(c & 31));
  }
  return out;
}

// Regroups bits from groups of `from` to groups of `to`; false for bad padding when unpadding.
bool Regroup(const std::vector<unsigned char>& in, int from, int to, bool pad,
             std::vector<unsigned char>& out) {
  std::uint32_t bits = 0;
  int count = 0;
  const std::uint32_t mask = (1u << to) - 1;
  for (unsigned char value : in) {
    bits = (bits << from) | value;
    count += from;
    while (count >= to) {
      count -= to;
      out.push_back(static_cast<unsigned char>((bits >> count) & mask));
    }
  }
  if (pad && count > 0) {
    out.push_back(static_cast<unsigned char>((bits << (to - count)) & mask));
  } else if (!pad && (count >= from || ((bits << (to - count)) & mask) != 0)) {
    return false;
  }
  return true;
}

void ParseKey(const std::string& text, const char* part, const char* what, unsigned char key[32]) {
  std::string gotPart;
  std::vector<unsigned char> data;
  const bool decoded = DecodeBech32(text, gotPart, data);
  const bool fits = decoded && gotPart == part && data.size() == 32;
  if (fits) {
    std::memcpy(key, data.data(), 32);
  }
  if (!data.empty()) {
    platform::SecureWipe(data.data(), data.size());
  }
  if (!fits) {
    throw SealedError(SealedError::Kind::kInvalidKey,
                      std::string("not ") + what +
                          (decoded ? " (a key of another kind or length)"
                                   : " (its checksum or characters are wrong: mistyped or cut?)"));
  }
}

}  // namespace

std::string EncodeBech32(const std::string& part, const std::vector<unsigned char>& data) {
  std::vector<unsigned char> values;
  Regroup(data, 8, 5, true, values);
  std::vector<unsigned char> checked = Expanded(part);
  checked.insert(checked.end(), values.begin(), values.end());
  checked.insert(checked.end(), 6, 0);
  const std::uint32_t check = PolyMod(checked) ^ 1;
  std::string text = part + "1";
  for (unsigned char value : values) {
    text += kCharset[value];
  }
  for (int i = 0; i < 6; ++i) {
    text += kCharset[(check >> (5 * (5 - i))) & 31];
  }
  if (!values.empty()) {
    platform::SecureWipe(values.data(), values.size());
    platform::SecureWipe(checked.data(), checked.size());
  }
  return text;
}

bool DecodeBech32(const std::string& text, std::string& part, std::vector<unsigned char>& data) {
  bool lower = false, upper = false;
  for (char c : text) {
    lower = lower || (c >= 'a' && c <= 'z');
    upper = upper || (c >= 'A' && c <= 'Z');
    if (c < 33 || c > 126) {
      return false;
    }
  }
  const std::size_t separator = text.rfind('1');
  if ((lower && upper) || separator == std::string::npos || separator == 0 ||
      text.size() - separator < 7) {
    return false;
  }
  std::vector<unsigned char> values;
  for (std::size_t i = separator + 1; i < text.size(); ++i) {
    const char c = static_cast<char>(text[i] >= 'A' && text[i] <= 'Z' ? text[i] + 32 : text[i]);
    const char* at = std::strchr(kCharset, c);
    if (at == nullptr || c == 0) {
      return false;
    }
    values.push_back(static_cast<unsigned char>(at - kCharset));
  }
  part.clear();
  for (std::size_t i = 0; i < separator; ++i) {
    part += static_cast<char>(text[i] >= 'A' && text[i] <= 'Z' ? text[i] + 32 : text[i]);
  }
  std::vector<unsigned char> checked = Expanded(part);
  checked.insert(checked.end(), values.begin(), values.end());
  if (PolyMod(checked) != 1) {
    return false;
  }
  values.resize(values.size() - 6);
  data.clear();
  return Regroup(values, 5, 8, false, data);
}

std::string RecipientText(const unsigned char publicKey[32]) {
  return EncodeBech32(kRecipientPart, std::vector<unsigned char>(publicKey, publicKey + 32));
}

std::string IdentityText(const unsigned char privateKey[32]) {
  std::vector<unsigned char> key(privateKey, privateKey + 32);
  std::string text = EncodeBech32(kIdentityPart, key);
  platform::SecureWipe(key.data(), key.size());
  for (char& c : text) {
    c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  return text;
}

void ParseRecipientText(const std::string& text, unsigned char publicKey[32]) {
  ParseKey(text, kRecipientPart, "a recipient", publicKey);
}

void ParseIdentityText(const std::string& text, unsigned char privateKey[32]) {
  ParseKey(text, kIdentityPart, "an identity", privateKey);
}

}  // namespace vantry::sealed

namespace vantry {

std::vector<KeyFileLine> KeyFileLines(const std::string& text) {
  std::vector<KeyFileLine> lines;
  std::size_t at = 0;
  for (std::size_t number = 1; at <= text.size(); ++number) {
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end;
    std::size_t last = end;
    while (last > at &&
           (text[last - 1] == '\r' || text[last - 1] == ' ' || text[last - 1] == '\t')) {
      --last;
    }
    if (last > at && text[at] != '#') {
      lines.push_back({number, text.substr(at, last - at)});
    }
    at = end + 1;
  }
  return lines;
}

}  // namespace vantry
