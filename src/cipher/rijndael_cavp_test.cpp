#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cipher/cipher_test_util.h"
#include "support/test_support.h"

// NIST CAVP (AESAVS) known-answer and multi-block vectors, each record in both directions,
// through Encrypt/Decrypt on every block path (AES-NI, unrolled tables, general), as one call
// and block by block.

namespace vantry::test {
namespace {

std::vector<std::string> CavpFiles() {
  std::vector<std::string> names;
  for (const char* mode : {"ECB", "CBC", "CFB128"}) {
    for (const char* kind : {"GFSbox", "KeySbox", "VarKey", "VarTxt", "MMT"}) {
      for (const char* bits : {"128", "192", "256"}) {
        names.push_back(std::string(mode) + kind + bits);
      }
    }
  }
  return names;
}

int ModeOfFile(const std::string& name) {
  if (name.rfind("ECB", 0) == 0) {
    return MODE_ECB;
  }
  return name.rfind("CBC", 0) == 0 ? MODE_CBC : MODE_CFB;
}

enum class Feed { kOneCall, kBlockByBlock };

Bytes Transform(const RspRecord& record, int mode, BlockPath16 path, Feed feed, bool encrypt) {
  const Bytes key = FromHex(record.at("KEY"));
  const Bytes iv = record.has("IV") ? FromHex(record.at("IV")) : Bytes(16, 0);
  const Bytes in = FromHex(record.at(encrypt ? "PLAINTEXT" : "CIPHERTEXT"));
  RijndaelProbe cipher;
  SetKeyOnPath(cipher, path, key.data(), static_cast<std::int32_t>(key.size()), iv.data(),
               static_cast<std::int32_t>(key.size()), 16, mode, PAD_ZERO);
  Bytes out(in.size());
  const std::size_t step = feed == Feed::kOneCall ? in.size() : 16;
  for (std::size_t at = 0; at < in.size(); at += step) {
    if (encrypt) {
      cipher.Encrypt(in.data() + at, out.data() + at, step);
    } else {
      cipher.Decrypt(in.data() + at, out.data() + at, step);
    }
  }
  return out;
}

class CavpFile : public ::testing::TestWithParam<std::string> {};

TEST_P(CavpFile, EveryRecordInBothDirectionsOnEveryPath) {
  const std::string name = GetParam();
  const auto records = ReadRsp(DataPath("aes/" + name + ".rsp"), "COUNT");
  ASSERT_GE(records.size(), 10u) << name;
  const int mode = ModeOfFile(name);
  for (const auto& record : records) {
    const std::string where = record.section + " COUNT " + record.at("COUNT");
    for (BlockPath16 path : kBlockPaths16) {
      if (!Runnable(path)) {
        continue;
      }
      for (Feed feed : {Feed::kOneCall, Feed::kBlockByBlock}) {
        const std::string how =
            where + " " + NameOf(path) + (feed == Feed::kOneCall ? " one call" : " block by block");
        EXPECT_EQ(ToHex(Transform(record, mode, path, feed, true)), record.at("CIPHERTEXT")) << how;
        EXPECT_EQ(ToHex(Transform(record, mode, path, feed, false)), record.at("PLAINTEXT")) << how;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Aes, CavpFile, ::testing::ValuesIn(CavpFiles()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace vantry::test
