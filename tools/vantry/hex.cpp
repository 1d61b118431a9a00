#include "hex.h"

#include "secret.h"

namespace vantry::tool {
namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::optional<std::vector<unsigned char>> ParseHex(const std::string& text) {
  // Key data passes through here: reserved once so that no reallocation leaves a copy behind,
  // and wiped on every refusal.
  std::vector<unsigned char> bytes;
  bytes.reserve(text.size() / 2 + 1);
  auto refuse = [&bytes]() -> std::optional<std::vector<unsigned char>> {
    WipeBytes(bytes);
    return std::nullopt;
  };
  int high = -1;
  for (char c : text) {
    if (IsBlank(c)) {
      if (high >= 0) {
        return refuse();  // a blank inside a pair
      }
      continue;
    }
    const int value = DigitValue(c);
    if (value < 0) {
      return refuse();
    }
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<unsigned char>(high * 16 + value));
      high = -1;
    }
  }
  if (high >= 0) {
    return refuse();
  }
  return bytes;
}

}  // namespace vantry::tool
