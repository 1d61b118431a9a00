// Hexadecimal text for initialisation vectors and raw key data.
#ifndef VANTRY_TOOL_HEX_H_
#define VANTRY_TOOL_HEX_H_

#include <optional>
#include <string>
#include <vector>

namespace vantry::tool {

// Pairs of hexadecimal digits, either case; blanks and line ends between pairs are allowed so
// that key files may be wrapped. Returns nothing for any other character or an odd digit count.
std::optional<std::vector<unsigned char>> ParseHex(const std::string& text);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_HEX_H_
