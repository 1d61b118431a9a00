// After an entry-point call returns, by success or by an exception, no copy of the key text,
// the key or its round keys may be left in memory the call used: neither in heap blocks it
// released nor in the stack below its caller. The heap is watched through this program's own
// operator new and delete, which search each released block while a call is under watch.
//
// POSIX only: replacing the global allocator is not something the Windows runtime build of the
// tests can share with the library's DLL.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "platform/vector_registers.h"
#include "support/aes_reference.h"
#include "support/test_support.h"
#include "vantry/vantry.h"

namespace {

// Secrets searched for in released blocks while armed; a hit is counted, not thrown.
struct Watch {
  bool armed = false;
  const std::vector<std::vector<unsigned char>>* needles = nullptr;
  int hits = 0;
};
Watch g_watch;

constexpr std::size_t kHeader = 16;  // keeps the block's size, and the user part aligned

void Search(const unsigned char* p, std::size_t n) {
  for (const auto& needle : *g_watch.needles) {
    if (std::search(p, p + n, needle.begin(), needle.end()) != p + n) {
      ++g_watch.hits;
    }
  }
}

void* Allocate(std::size_t n) {
  auto* block = static_cast<unsigned char*>(std::malloc(n + kHeader));
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  std::memcpy(block, &n, sizeof n);
  return block + kHeader;
}

void Release(void* p) noexcept {
  if (p == nullptr) {
    return;
  }
  auto* block = static_cast<unsigned char*>(p) - kHeader;
  if (g_watch.armed) {
    std::size_t n = 0;
    std::memcpy(&n, block, sizeof n);
    g_watch.armed = false;  // the search itself must not recurse into the watch
    Search(static_cast<const unsigned char*>(p), n);
    g_watch.armed = true;
  }
  std::free(block);
}

}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace vantry::test {
namespace {

// AddressSanitizer moves locals into frames of its own, so the stack below a caller no longer
// holds what a finished call left there; the stack checks run in the uninstrumented builds.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kStackIsSearchable = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kStackIsSearchable = false;
#else
constexpr bool kStackIsSearchable = true;
#endif
#else
constexpr bool kStackIsSearchable = true;
#endif
constexpr const char* kStackSkip = "the stack cannot be searched under AddressSanitizer";

std::array<unsigned char, 176> ExpandKey128(const unsigned char* key) {
  Bytes keyBytes(key, key + 16);
  std::vector<unsigned char> bytes = ReferenceRoundKeyBytes(keyBytes);
  std::array<unsigned char, 176> w{};
  std::copy(bytes.begin(), bytes.end(), w.begin());
  // Released unwiped, these copies would be found by the watch below in a later block.
  WipeReference(bytes.data(), bytes.size());
  WipeReference(keyBytes.data(), keyBytes.size());
  return w;
}

TEST(EntryPointHygieneReference, ExpansionGivesTheFips197LastRoundKey) {
  const Bytes key = FromHex("2B7E151628AED2A6ABF7158809CF4F3C");
  const auto w = ExpandKey128(key.data());
  EXPECT_EQ(ToHex(w.data() + 160, 16), "d014f9a8c9ee2589e13f0cc8b6630ca6");
}

// The key bytes and every round key, in byte order and as the words a table implementation
// keeps (first byte most significant, stored in this machine's order).
std::vector<Bytes> Needles(const std::string& keyText) {
  auto w = ExpandKey128(reinterpret_cast<const unsigned char*>(keyText.data()));
  std::vector<Bytes> needles{Bytes(keyText.begin(), keyText.end())};
  for (int round = 1; round <= 10; ++round) {
    const unsigned char* k = w.data() + 16 * round;
    needles.emplace_back(k, k + 16);
    Bytes words(16);
    for (int word = 0; word < 4; ++word) {
      std::uint32_t v = 0;
      for (int j = 0; j < 4; ++j) {
        v = v << 8 | k[4 * word + j];
      }
      std::memcpy(&words[4 * word], &v, 4);
    }
    needles.push_back(words);
  }
  // The schedule sits on this test's own stack, where the search below would find it.
  volatile unsigned char* wipe = w.data();
  for (std::size_t i = 0; i < w.size(); ++i) {
    wipe[i] = 0;
  }
  return needles;
}

// Searches the stack the finished call used, below this frame.
__attribute__((noinline)) int StackHits(const std::vector<Bytes>& needles) {
  volatile unsigned char below[48 * 1024];
  std::vector<unsigned char> copy(sizeof below);
  for (std::size_t i = 0; i < sizeof below; ++i) {
    copy[i] = below[i];
  }
  int hits = 0;
  for (const auto& needle : needles) {
    hits += std::search(copy.begin(), copy.end(), needle.begin(), needle.end()) != copy.end();
  }
  return hits;
}

// A secret a function leaves on its stack without wiping, as a careless one would.
__attribute__((noinline)) void LeaveOnStack(const Bytes& secret) {
  volatile unsigned char local[64];
  for (std::size_t i = 0; i < secret.size() && i < sizeof local; ++i) {
    local[i] = secret[i];
  }
}

// Without this the test below could pass by seeing nothing at all.
TEST(EntryPointHygieneReference, TheWatchFindsUnwipedCopies) {
  const std::vector<Bytes> needles = Needles("Hygiene key text");
  g_watch = Watch{true, &needles, 0};
  delete new Bytes(needles[5]);
  g_watch.armed = false;
  EXPECT_GE(g_watch.hits, 1);
  if (!kStackIsSearchable) {
    GTEST_SKIP() << kStackSkip;
  }
  LeaveOnStack(needles[7]);
  EXPECT_GE(StackHits(needles), 1);
}

struct Call {
  const char* name;
  void (*run)(const std::string& dir, const char* key);
};

// How GoogleTest shows the case in its output (the default would dump its bytes).
inline void PrintTo(const Call& c, std::ostream* os) { *os << c.name; }

void SaveCall(const std::string& dir, const char* key) {
  const Bytes data(1000, 0x5A);
  SaveVantryWithKey2(data.data(), 1000, (dir + "/f").c_str(), key);
}
void SaveWithKeyCall(const std::string& dir, const char* key) {
  const Bytes data(17, 0x5A);
  SaveVantryWithKey(data.data(), 17, dir + "/f", key);
}
void LoadCall(const std::string& dir, const char* key) {
  std::int32_t n = 0;
  FreeVantryBuffer(LoadVantryWithKey2((dir + "/f").c_str(), &n, key));
}
void LoadWithKeyCall(const std::string& dir, const char* key) {
  std::int32_t n = 0;
  FreeVantryBuffer(LoadVantryWithKey(dir + "/f", &n, key));
}
void WrongKeyLoadCall(const std::string& dir, const char* key) {
  std::int32_t n = 0;
  WriteFile(dir + "/other", Bytes(48, 1));
  try {
    LoadVantryWithKey2((dir + "/other").c_str(), &n, key);
  } catch (const std::runtime_error&) {
  }
}

const Call kCalls[] = {{"SaveWithKey2", SaveCall},
                       {"SaveWithKey", SaveWithKeyCall},
                       {"LoadWithKey2", LoadCall},
                       {"LoadWithKey", LoadWithKeyCall},
                       {"FailedLoad", WrongKeyLoadCall}};

class EntryPointHygiene : public ::testing::TestWithParam<Call> {};

// Saves the file every call reads, under the key of the watched call.
void Prepare(const TempDir& dir, const std::string& keyText) {
  const Bytes data(1000, 0x5A);
  SaveVantryWithKey2(data.data(), 1000, dir.File("f").c_str(), keyText.c_str());
}

// Sixteen characters and more: longer than a short-string buffer, so copies go to the heap.
const std::string kKeyText = "Hygiene key text, only 16 count";

TEST_P(EntryPointHygiene, LeavesNoKeyOrRoundKeyInReleasedHeapBlocks) {
  TempDir dir;
  Prepare(dir, kKeyText);
  // Named, so that its heap copy of the key lives past the watch rather than being reused.
  const std::string keyPrefix = kKeyText.substr(0, 16);
  const std::vector<Bytes> needles = Needles(keyPrefix);
  g_watch = Watch{true, &needles, 0};
  GetParam().run(dir.path(), kKeyText.c_str());
  g_watch.armed = false;
  EXPECT_EQ(g_watch.hits, 0) << "released heap blocks held the key or its round keys";
}

// The frames the call used lie below the caller's; whatever it left there shows here.
TEST_P(EntryPointHygiene, LeavesNoKeyOrRoundKeyOnTheStack) {
  if (!kStackIsSearchable) {
    GTEST_SKIP() << kStackSkip;
  }
  TempDir dir;
  Prepare(dir, kKeyText);
  // Named, so that its heap copy of the key lives past the watch rather than being reused.
  const std::string keyPrefix = kKeyText.substr(0, 16);
  const std::vector<Bytes> needles = Needles(keyPrefix);
  // Computing the needles left the key in this test's own registers, where the first lazily
  // bound call of the test would spill it below this frame before the library runs at all.
  vantry::platform::ClearVectorRegisters();
  GetParam().run(dir.path(), kKeyText.c_str());
  EXPECT_EQ(StackHits(needles), 0) << "the stack below the caller held the key or round keys";
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfCall, EntryPointHygiene, ::testing::ValuesIn(kCalls),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantry::test
