// What the CSHA tests share: feeding a message to CSHA in pieces of a given pattern.
#ifndef VANTRY_HASH_HASH_TEST_UTIL_H_
#define VANTRY_HASH_HASH_TEST_UTIL_H_

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "vantry/sha.h"

namespace vantry::test {

// How a message is cut before it goes to AddData: 0 means one piece, n > 0 pieces of n bytes
// (the last one shorter), kRandomSplit pieces of random lengths 1..150.
constexpr std::size_t kRandomSplit = static_cast<std::size_t>(-1);

inline std::vector<std::size_t> PieceLengths(std::size_t total, std::size_t split,
                                             std::mt19937_64& rng) {
  std::vector<std::size_t> pieces;
  for (std::size_t done = 0; done < total;) {
    std::size_t piece = total - done;
    if (split == kRandomSplit) {
      piece = std::min(piece, static_cast<std::size_t>(1 + rng() % 150));
    } else if (split != 0) {
      piece = std::min(piece, split);
    }
    pieces.push_back(piece);
    done += piece;
  }
  return pieces;
}

// Hex digest of message (not empty) fed to hasher in pieces cut as split says.
inline std::string HexDigestInPieces(CSHA& hasher, const Bytes& message, std::size_t split,
                                     std::mt19937_64& rng) {
  const unsigned char* p = message.data();
  for (std::size_t piece : PieceLengths(message.size(), split, rng)) {
    hasher.AddData(p, static_cast<std::int32_t>(piece));
    p += piece;
  }
  unsigned char digest[32];
  hasher.FinalDigest(digest);
  return ToHex(digest, sizeof digest);
}

inline std::string SplitName(std::size_t split) {
  return split == 0 ? "whole" : split == kRandomSplit ? "random" : std::to_string(split);
}

}  // namespace vantry::test

#endif  // VANTRY_HASH_HASH_TEST_UTIL_H_
