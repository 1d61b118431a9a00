// Hexadecimal key data and chain blocks: what is read and what is refused.
#include "hex.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vantry::tool {
namespace {

using Bytes = std::vector<unsigned char>;

TEST(Hex, PairsInEitherCaseWithBlanksBetweenPairs) {
  const struct {
    std::string text;
    Bytes bytes;
  } cases[] = {
      {"", {}},
      {"00", {0x00}},
      {"aB", {0xab}},
      {"0313", {0x03, 0x13}},
      {"03 13", {0x03, 0x13}},
      {"03\t13\r\n", {0x03, 0x13}},
      {" \n 7f\n\nFF ", {0x7f, 0xff}},
      {"0123456789abcdefABCDEF",
       {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xab, 0xcd, 0xef}},
  };
  for (const auto& c : cases) {
    const std::optional<Bytes> parsed = ParseHex(c.text);
    ASSERT_TRUE(parsed.has_value()) << c.text;
    EXPECT_EQ(*parsed, c.bytes) << c.text;
  }
}

TEST(Hex, RefusesABlankInsideAPairAndAnythingElse) {
  for (const std::string& text : std::vector<std::string>{"3 0313", "03 1 3", "0\n3", "0", "031",
                                                          "0x03", "03-13", "g0", "03\v13", "03\f13",
                                                          std::string("03\0"
                                                                      "13",
                                                                      5),
                                                          "\xc3\xa9"
                                                          "00"}) {
    EXPECT_FALSE(ParseHex(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace vantry::tool
