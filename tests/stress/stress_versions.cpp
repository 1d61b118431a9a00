#include "stress_versions.h"

namespace vantry::stress {
namespace {

constexpr char kMagic[8] = {'V', 'S', 'T', 'R', 'E', 'S', 'S', '1'};

unsigned char PatternByte(std::uint32_t version, std::uint32_t i) {
  return static_cast<unsigned char>(i * 131u + version * 7u + (i >> 9) + 1u);
}

std::uint32_t Word(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

}  // namespace

std::vector<unsigned char> VersionData(std::uint32_t version, std::uint32_t length) {
  std::vector<unsigned char> data(length < 16 ? 16 : length);
  for (std::uint32_t i = 16; i < data.size(); ++i) {
    data[i] = PatternByte(version, i);
  }
  for (int i = 0; i < 8; ++i) {
    data[i] = static_cast<unsigned char>(kMagic[i]);
  }
  const auto size = static_cast<std::uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) {
    data[8 + i] = static_cast<unsigned char>(version >> (8 * i));
    data[12 + i] = static_cast<unsigned char>(size >> (8 * i));
  }
  return data;
}

std::string CheckLoaded(const unsigned char* block, std::int32_t length) {
  if (length < 48) {
    return "block of " + std::to_string(length) + " bytes is too short for any version";
  }
  for (int i = 0; i < 8; ++i) {
    if (block[i] != static_cast<unsigned char>(kMagic[i])) {
      return "block does not start with a version head";
    }
  }
  const std::uint32_t version = Word(block + 8);
  const std::uint32_t size = Word(block + 12);
  const std::uint64_t expected = 32 + (std::uint64_t{size} + 15) / 16 * 16;
  if (expected != static_cast<std::uint64_t>(length)) {
    return "version " + std::to_string(version) + " of " + std::to_string(size) +
           " bytes came back as " + std::to_string(length) + " bytes";
  }
  for (std::uint32_t i = 16; i < size; ++i) {
    if (block[i] != PatternByte(version, i)) {
      return "version " + std::to_string(version) + " differs at byte " + std::to_string(i);
    }
  }
  for (std::uint32_t i = size; i < static_cast<std::uint32_t>(length); ++i) {
    if (block[i] != 0) {
      return "version " + std::to_string(version) + " has a non-zero byte after its data at " +
             std::to_string(i);
    }
  }
  return "";
}

}  // namespace vantry::stress
