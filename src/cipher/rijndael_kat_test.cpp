#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cipher/cipher_test_util.h"
#include "support/test_support.h"

// Rijndael vectors for every pair of block size and key length, in the three chaining modes:
// the only known answers for 24- and 32-byte blocks, and so the only check of their shift
// offsets (a wrong offset still decrypts what it encrypted).

namespace vantry::test {
namespace {

struct KatCase {
  int blockSize = 0;
  int keyLength = 0;
  int mode = 0;
  std::map<std::string, std::string> fields;
};

// Sections read "[BLOCK = 16, KEY = 24, MODE = CBC]", each followed by one record.
std::vector<KatCase> ReadKat(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    throw std::runtime_error("test: cannot read " + path);
  }
  std::vector<KatCase> cases;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.empty() || line[0] == '#') {
      continue;
    }
    if (line[0] == '[') {
      KatCase next;
      char mode[8] = {};
      if (std::sscanf(line.c_str(), "[BLOCK = %d, KEY = %d, MODE = %3s]", &next.blockSize,
                      &next.keyLength, mode) != 3) {
        throw std::runtime_error("test: bad section " + line);
      }
      const std::string m = mode;
      next.mode = m == "ECB" ? MODE_ECB : m == "CBC" ? MODE_CBC : m == "CFB" ? MODE_CFB : -1;
      if (next.mode < 0) {
        throw std::runtime_error("test: bad mode " + line);
      }
      cases.push_back(next);
      continue;
    }
    const auto eq = line.find(" = ");
    if (eq != std::string::npos && !cases.empty()) {
      cases.back().fields[line.substr(0, eq)] = line.substr(eq + 3);
    }
  }
  return cases;
}

TEST(RijndaelKatTest, EveryBlockSizeKeyLengthAndModeInBothDirectionsOnEveryPath) {
  const auto cases = ReadKat(DataPath("rijndael/rijndael_kat.txt"));
  std::map<std::string, int> seen;
  for (const auto& c : cases) {
    const std::string where = "block " + std::to_string(c.blockSize) + " key " +
                              std::to_string(c.keyLength) + " mode " + std::to_string(c.mode) +
                              " count " + c.fields.at("COUNT");
    ++seen[std::to_string(c.blockSize) + "/" + std::to_string(c.keyLength) + "/" +
           std::to_string(c.mode)];
    const Bytes key = FromHex(c.fields.at("KEY"));
    ASSERT_EQ(key.size(), static_cast<std::size_t>(c.keyLength)) << where;
    const Bytes iv = c.fields.count("IV") != 0 ? FromHex(c.fields.at("IV")) : Bytes(c.blockSize, 0);
    const Bytes plain = FromHex(c.fields.at("PLAINTEXT"));
    const Bytes expected = FromHex(c.fields.at("CIPHERTEXT"));

    for (BlockPath16 path : kBlockPaths16) {
      // Wider blocks take the general path whichever path 16-byte blocks are sent down.
      if (!Runnable(path) || (c.blockSize != 16 && path != BlockPath16::kUnrolled)) {
        continue;
      }
      for (bool blockByBlock : {false, true}) {
        const std::string how =
            where + " " + NameOf(path) + (blockByBlock ? " block by block" : " one call");
        RijndaelProbe encryptor;
        RijndaelProbe decryptor;
        for (RijndaelProbe* cipher : {&encryptor, &decryptor}) {
          SetKeyOnPath(*cipher, path, key.data(), c.keyLength, iv.data(), c.keyLength, c.blockSize,
                       c.mode, PAD_ZERO);
        }
        const std::size_t step = blockByBlock ? c.blockSize : plain.size();
        Bytes out(plain.size());
        Bytes back(plain.size());
        for (std::size_t at = 0; at < plain.size(); at += step) {
          encryptor.Encrypt(plain.data() + at, out.data() + at, step);
          decryptor.Decrypt(expected.data() + at, back.data() + at, step);
        }
        EXPECT_EQ(ToHex(out), ToHex(expected)) << how;
        EXPECT_EQ(ToHex(back), ToHex(plain)) << how;
      }
    }
  }
  // Nine size pairs times three modes, two records each.
  EXPECT_EQ(seen.size(), 27u);
  for (const auto& [combination, count] : seen) {
    EXPECT_EQ(count, 2) << combination;
  }
}

}  // namespace
}  // namespace vantry::test
