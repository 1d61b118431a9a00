// A failed load gives back every byte it took from the heap: hosts retry loads in loops, and a
// leak per failure would grow without bound. Measured with glibc's allocator statistics; the
// sanitizer build checks the same through its leak detector instead.
#include <cstddef>  // defines __GLIBC__ on glibc systems

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "vantry/vantry.h"

namespace vantry {
namespace {

std::size_t HeapInUse() { return mallinfo2().uordblks; }

// A leak takes at least one smallest chunk at every call; a one-off retention (the heap grew
// once by 96 bytes in loaded runs) does not grow with the calls, and stays below the bound.
constexpr int kRuns = 64;
constexpr std::size_t kSmallestChunk = 4 * sizeof(void*);

// Runs a failing call a few times and returns the heap growth over the later runs; the first
// run may set up lasting things of the runtime (exception pools, locale), the later ones not.
std::size_t HeapGrowthOfFailingCall(const std::function<void()>& call) {
  auto runOnce = [&] {
    try {
      call();
    } catch (const std::exception&) {
    }
  };
  runOnce();
  runOnce();
  const std::size_t before = HeapInUse();
  for (int i = 0; i < kRuns; ++i) {
    runOnce();
  }
  const std::size_t after = HeapInUse();
  return after > before ? after - before : 0;
}

TEST(EntryPointHeap, FailedLoadsLeaveTheHeapAsItWas) {
  test::TempDir dir;
  const std::string missing = dir.File("missing.vty");
  const std::string good = dir.File("good.vty");
  const std::string cut = dir.File("cut.vty");
  const test::Bytes data(5000, 0x5A);
  SaveVantryWithKey2(data.data(), 5000, good.c_str(), "key");
  test::Bytes cutBytes = test::ReadFile(good);
  cutBytes.resize(cutBytes.size() - 8);
  test::WriteFile(cut, cutBytes);

  struct Case {
    const char* name;
    std::function<void()> call;
  };
  std::int32_t length = 0;
  const std::vector<Case> cases = {
      {"missing file", [&] { LoadVantryWithKey2(missing.c_str(), &length, "key"); }},
      {"wrong key", [&] { LoadVantryWithKey2(good.c_str(), &length, "other"); }},
      {"wrong key, key object", [&] { LoadVantryWithKey(good, &length, "other"); }},
      {"cut cipher text", [&] { LoadVantryWithKey2(cut.c_str(), &length, "key"); }},
      {"null outLength", [&] { LoadVantryWithKey2(good.c_str(), nullptr, "key"); }},
  };
  for (const Case& c : cases) {
    EXPECT_LT(HeapGrowthOfFailingCall(c.call), kRuns * kSmallestChunk)
        << c.name << ": a failed load keeps heap memory at every call";
  }
  EXPECT_EQ(length, 0);
}

}  // namespace
}  // namespace vantry

#endif
