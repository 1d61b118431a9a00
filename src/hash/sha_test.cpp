#include "vantry/sha.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "hash/hash_test_util.h"
#include "support/test_support.h"

namespace vantry {
namespace {

using test::Bytes;
using test::FromHex;
using test::ToHex;

const std::string kLengthMessage = "Sealkit ERROR: in CSHA::AddData(), Data Length should be > 0!";
const std::string kNoDataMessage =
    "Sealkit ERROR: in CSHA::FinalDigest(), No data Added before call!";
const std::string kNullDataMessage = "Sealkit ERROR: in CSHA::AddData(), Data Pointer is null!";
const std::string kNullDigestMessage =
    "Sealkit ERROR: in CSHA::FinalDigest(), Digest Pointer is null!";

const std::string kAbcDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The message of the std::runtime_error the call throws, or a marker when it throws none.
std::string ThrownMessage(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "(no exception)";
}

const std::size_t kSplits[] = {0, 1, 63, 64, 65, test::kRandomSplit};

TEST(CSHA, StandardExamplesInEveryPieceSize) {
  struct Case {
    Bytes message;
    std::string digest;
  };
  const Case cases[] = {
      {BytesOf("abc"), kAbcDigest},
      // 56 bytes: the length no longer fits behind the 0x80 marker, padding takes a second block.
      {BytesOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {Bytes(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  std::mt19937_64 rng(1);
  for (const Case& c : cases) {
    for (std::size_t split : kSplits) {
      CSHA hasher;
      EXPECT_EQ(test::HexDigestInPieces(hasher, c.message, split, rng), c.digest)
          << c.message.size() << " bytes, pieces " << test::SplitName(split)
          << " (SECURITY.md: the key check digest is SHA-256)";
    }
  }
}

// One hasher runs through a whole vector file, so every message also checks that the digest
// before it left the object clean.
void CheckVectorFile(const std::string& file) {
  const auto records = test::ReadRsp(test::DataPath("sha256/" + file), "Len");
  ASSERT_GT(records.size(), 60u);
  std::mt19937_64 rng(2);
  for (std::size_t split : kSplits) {
    CSHA hasher;
    for (const auto& record : records) {
      const Bytes message = FromHex(record.at("Msg"));
      const std::size_t bits = std::stoul(record.at("Len"));
      if (bits == 0) {
        // The empty message cannot be hashed: both calls refuse it.
        EXPECT_EQ(ThrownMessage([&] { hasher.AddData(message.data(), 0); }), kLengthMessage);
        unsigned char digest[32];
        EXPECT_EQ(ThrownMessage([&] { hasher.FinalDigest(digest); }), kNoDataMessage);
        continue;
      }
      ASSERT_EQ(message.size() * 8, bits);
      EXPECT_EQ(test::HexDigestInPieces(hasher, message, split, rng), record.at("MD"))
          << file << " Len " << bits << " pieces " << test::SplitName(split)
          << " (SECURITY.md: the key check digest is SHA-256)";
    }
  }
}

TEST(CSHA, NistShortMessages) { CheckVectorFile("SHA256ShortMsg.rsp"); }
TEST(CSHA, NistLongMessages) { CheckVectorFile("SHA256LongMsg.rsp"); }

TEST(CSHA, NistMonteCarlo) {
  const auto records = test::ReadRsp(test::DataPath("sha256/SHA256Monte.rsp"), "COUNT");
  ASSERT_EQ(records.size(), 101u);  // the seed, then 100 checkpoints
  Bytes seed = FromHex(records[0].at("Seed"));
  CSHA hasher;
  for (std::size_t checkpoint = 1; checkpoint < records.size(); ++checkpoint) {
    std::vector<Bytes> md = {seed, seed, seed};
    for (int i = 0; i < 1000; ++i) {
      Bytes joined;
      for (std::size_t k = md.size() - 3; k < md.size(); ++k) {
        joined.insert(joined.end(), md[k].begin(), md[k].end());
      }
      Bytes next(32);
      hasher.AddData(joined.data(), static_cast<std::int32_t>(joined.size()));
      hasher.FinalDigest(next.data());
      md.push_back(next);
    }
    seed = md.back();
    ASSERT_EQ(ToHex(seed), records[checkpoint].at("MD")) << "COUNT " << checkpoint - 1;
  }
}

// Every refused call throws its message, leaves the digest buffer alone and changes nothing:
// afterwards the hasher completes "abc" correctly from where it stood.
TEST(CSHA, RefusedCallsChangeNothing) {
  const Bytes abc = BytesOf("abc");
  struct Case {
    const char* name;
    std::function<void(CSHA&)> before;  // brings the hasher to its state
    std::size_t pending;                // bytes of "abc" already added by before
    std::function<void(CSHA&, unsigned char*)> call;
    std::string message;
  };
  auto nothing = [](CSHA&) {};
  auto addAb = [&](CSHA& h) { h.AddData(abc.data(), 2); };
  auto addLength = [&](std::int32_t iLen) {
    return [&abc, iLen](CSHA& h, unsigned char*) { h.AddData(abc.data(), iLen); };
  };
  auto finalDigest = [](CSHA& h, unsigned char* out) { h.FinalDigest(out); };
  const Case cases[] = {
      {"length 0 on a new hasher", nothing, 0, addLength(0), kLengthMessage},
      {"length -1 on a new hasher", nothing, 0, addLength(-1), kLengthMessage},
      {"length INT32_MIN on a new hasher", nothing, 0, addLength(INT32_MIN), kLengthMessage},
      {"length 0 inside a message", addAb, 2, addLength(0), kLengthMessage},
      {"length -64 inside a message", addAb, 2, addLength(-64), kLengthMessage},
      {"null data", addAb, 2, [](CSHA& h, unsigned char*) { h.AddData(nullptr, 1); },
       kNullDataMessage},
      {"null data and length 0", nothing, 0, [](CSHA& h, unsigned char*) { h.AddData(nullptr, 0); },
       kLengthMessage},
      {"digest of a new hasher", nothing, 0, finalDigest, kNoDataMessage},
      {"digest after a refused add",
       [&](CSHA& h) { ThrownMessage([&] { h.AddData(abc.data(), 0); }); }, 0, finalDigest,
       kNoDataMessage},
      {"second digest in a row",
       [&](CSHA& h) {
         unsigned char out[32];
         h.AddData(abc.data(), 3);
         h.FinalDigest(out);
       },
       0, finalDigest, kNoDataMessage},
      {"null digest buffer", addAb, 2, [](CSHA& h, unsigned char*) { h.FinalDigest(nullptr); },
       kNullDigestMessage},
  };
  for (const Case& c : cases) {
    CSHA hasher;
    c.before(hasher);
    std::array<unsigned char, 32> out;
    out.fill(0xEE);
    EXPECT_EQ(ThrownMessage([&] { c.call(hasher, out.data()); }), c.message) << c.name;
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](unsigned char b) { return b == 0xEE; }))
        << c.name;
    hasher.AddData(abc.data() + c.pending, static_cast<std::int32_t>(abc.size() - c.pending));
    hasher.FinalDigest(out.data());
    EXPECT_EQ(ToHex(out.data(), out.size()), kAbcDigest) << c.name;
  }
}

// What a hasher leaves in its memory must not depend on the secret it saw: hashing two
// different secrets must leave byte-identical memory, holding no run of either secret.
TEST(CSHA, LeavesNoSecretBehind) {
  struct Case {
    const char* name;
    std::size_t secretLength;
    bool digest;
    bool destroy;
  };
  const Case cases[] = {
      {"secret in the block, destroyed", 40, false, true},
      {"secret in state and block, destroyed", 100, false, true},
      {"whole blocks, destroyed", 128, false, true},
      {"after a digest, still alive", 100, true, false},
      {"after a digest, destroyed", 100, true, true},
  };
  using Memory = std::array<unsigned char, sizeof(CSHA)>;
  auto memoryAfter = [](const Case& c, const Bytes& secret) {
    alignas(CSHA) unsigned char storage[sizeof(CSHA)];
    std::memset(storage, 0x5A, sizeof storage);
    CSHA* hasher = new (storage) CSHA;
    hasher->AddData(secret.data(), static_cast<std::int32_t>(secret.size()));
    if (c.digest) {
      unsigned char out[32];
      hasher->FinalDigest(out);
    }
    Memory memory;
    if (c.destroy) {
      hasher->~CSHA();
      std::memcpy(memory.data(), storage, sizeof storage);
    } else {
      std::memcpy(memory.data(), storage, sizeof storage);
      hasher->~CSHA();
    }
    return memory;
  };
  auto holdsRunOf = [](const Memory& memory, const Bytes& secret) {
    for (std::size_t i = 0; i + 4 <= secret.size(); ++i) {
      if (std::search(memory.begin(), memory.end(), secret.begin() + i, secret.begin() + i + 4) !=
          memory.end()) {
        return true;
      }
    }
    return false;
  };
  std::mt19937_64 rng(3);
  for (const Case& c : cases) {
    const Bytes secretA = test::RandomBytes(rng, c.secretLength);
    const Bytes secretB = test::RandomBytes(rng, c.secretLength);
    const Memory afterA = memoryAfter(c, secretA);
    EXPECT_EQ(ToHex(afterA.data(), afterA.size()),
              ToHex(memoryAfter(c, secretB).data(), afterA.size()))
        << c.name;
    EXPECT_FALSE(holdsRunOf(afterA, secretA)) << c.name;
  }
}

}  // namespace
}  // namespace vantry
