// The ring over sources that misbehave in ways neither a memory stream nor a healthy file stream
// can: loads that come up short without the source reporting its end, counts that are larger
// than the request or negative.
#include "io/double_buffer_ring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vantry {
namespace {

using test::Bytes;

constexpr unsigned char kSentinel = 0xEE;

// What a scripted source does on each load, and what it did.
struct Script {
  Bytes data;
  // Load i stores at most caps[i] bytes (loads past the list store what is asked).
  std::vector<std::int32_t> caps;
  // Added to the count a load reports, beyond what it stored.
  std::int32_t overReport = 0;
  // True: AtEnd once every byte is out, like a memory stream. False: never reports its end.
  bool reportsEnd = true;

  std::size_t pos = 0;
  std::size_t loads = 0;
  std::size_t loadsAfterShort = 0;
  bool wentShort = false;
  bool stalled = false;  // a cap stopped a load before the data's end
};

struct ScriptedSource {
  static constexpr const char* kOddSizeMessage = "odd";
  static constexpr const char* kConstructionMessage = "construction";
  void CheckUsable() const {}
  std::int32_t Load(unsigned char* pDst, std::int32_t iCount) {
    if (m_pScript->wentShort) ++m_pScript->loadsAfterShort;
    std::size_t n =
        std::min(static_cast<std::size_t>(iCount), m_pScript->data.size() - m_pScript->pos);
    if (m_pScript->loads < m_pScript->caps.size() &&
        static_cast<std::size_t>(m_pScript->caps[m_pScript->loads]) < n) {
      n = static_cast<std::size_t>(m_pScript->caps[m_pScript->loads]);
      m_pScript->stalled = true;
    }
    ++m_pScript->loads;
    if (n != 0) std::memcpy(pDst, m_pScript->data.data() + m_pScript->pos, n);
    m_pScript->pos += n;
    if (n < static_cast<std::size_t>(iCount)) m_pScript->wentShort = true;
    return static_cast<std::int32_t>(n) + m_pScript->overReport;
  }
  bool AtEnd() const { return m_pScript->reportsEnd && m_pScript->pos == m_pScript->data.size(); }
  Script* m_pScript;
};

class TestRing : public detail::CDoubleBufferRing<ScriptedSource> {
 public:
  TestRing(Script* script, unsigned char* buffer, std::int32_t size, std::int32_t chunk)
      : CDoubleBufferRing(ScriptedSource{script}, buffer, size, chunk) {}
  using CDoubleBufferRing::GetData;
};

// Runs requests and checks what a caller may rely on whatever the source does: every call before
// the end gets all n bytes; the call that ends the sequence gets every stored byte not yet handed
// out; later calls get 0; the bytes are the source's, in order, none stale, none repeated; the
// ring stops loading after the first short load; out is never written past the count returned
// and the working buffer never outside its bytes.
void CheckRun(Script& script, std::int32_t size, std::int32_t chunk,
              const std::vector<std::int32_t>& requests) {
  Bytes buffer(static_cast<std::size_t>(size) + 32, kSentinel);
  TestRing ring(&script, buffer.data() + 16, size, chunk);
  std::size_t delivered = 0;
  bool ended = false;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    SCOPED_TRACE("call " + std::to_string(i));
    const std::int32_t n = requests[i] == -1 ? chunk : requests[i];
    Bytes out(static_cast<std::size_t>(n) + 8, kSentinel);
    const std::int32_t got = ring.GetData(out.data(), requests[i]);
    ASSERT_GE(got, 0);
    ASSERT_LE(got, n) << "handed out more than asked";
    EXPECT_TRUE(std::all_of(out.begin() + got, out.end(), [](unsigned char b) {
      return b == kSentinel;
    })) << "wrote past the count returned";
    if (ended) {
      ASSERT_EQ(got, 0) << "handed out bytes after the end";
      continue;
    }
    if (got < n) {
      ended = true;
      ASSERT_EQ(static_cast<std::size_t>(got), script.pos - delivered)
          << "the last call did not hand out every stored byte";
    }
    ASSERT_LE(delivered + static_cast<std::size_t>(got), script.pos)
        << "handed out bytes the source never stored";
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + got, script.data.begin() + delivered))
        << "bytes out of order, stale or repeated";
    delivered += static_cast<std::size_t>(got);
  }
  EXPECT_EQ(script.loadsAfterShort, 0u) << "kept loading from a source that came up short";
  if (ended && !script.stalled) {
    EXPECT_EQ(delivered, script.data.size()) << "ended early on an honest source";
  }
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + 16,
                          [](unsigned char b) { return b == kSentinel; }));
  EXPECT_TRUE(
      std::all_of(buffer.end() - 16, buffer.end(), [](unsigned char b) { return b == kSentinel; }));
}

Bytes Data(std::size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  return test::RandomBytes(rng, n);
}

TEST(DoubleBufferRingTest, ShortLoadsWithoutAnEndAreTheEnd) {
  struct Case {
    const char* name;
    std::size_t data;
    std::vector<std::int32_t> caps;
    std::int32_t size;
    std::vector<std::int32_t> requests;
  };
  // Size 8: halves of 4 bytes. Each case stalls one load part-way through a source with plenty
  // left; a ring that trusted the missing end would wrap over stale or overwritten bytes.
  const std::vector<Case> cases = {
      {"first load short", 40, {2}, 8, {3, 3, 3, 3}},
      {"first load empty", 40, {0}, 8, {3, 3}},
      {"upper load short, position stays low", 40, {4, 1}, 8, {1, 3, 3, 3}},
      {"upper load short, request spans it", 40, {4, 2}, 8, {3, 3, 3}},
      {"upper load short, then wrap", 40, {4, 3}, 8, {4, 2, 4, 4}},
      {"lower reload short", 40, {4, 4, 1}, 8, {3, 3, 3, 3, 3}},
      {"lower reload empty", 40, {4, 4, 0}, 8, {4, 4, 4, 4}},
      {"third reload short after a full lap", 40, {4, 4, 4, 4, 2}, 8, {3, 3, 3, 3, 3, 3, 3, 3}},
      {"callers' shape, stall at 900", 5000, {512, 388}, 1024, {-1, -1, -1, -1, -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Script script;
    script.data = Data(c.data, 3);
    script.caps = c.caps;
    script.reportsEnd = false;
    CheckRun(script, c.size, c.size / 2, c.requests);
  }
}

TEST(DoubleBufferRingTest, CountsOutsideTheRequestAreClamped) {
  for (std::size_t length : {0u, 3u, 4u, 5u, 8u, 9u, 37u, 40u}) {
    SCOPED_TRACE(std::to_string(length) + " source bytes");
    // Claims 100 bytes more than it stored. A ring that believed it would read and load past
    // its working buffer; clamped, each load counts for at most the half it was given, and the
    // bytes of the loads that were really full come out unchanged.
    Script script;
    script.data = Data(length, 4);
    script.overReport = 100;
    Bytes buffer(8 + 32, kSentinel);
    TestRing ring(&script, buffer.data() + 16, 8, 4);
    Bytes handedOut;
    for (int call = 0; call < 20; ++call) {
      unsigned char out[3 + 8];
      std::fill(out, out + sizeof out, kSentinel);
      const std::int32_t got = ring.GetData(out, 3);
      ASSERT_GE(got, 0);
      ASSERT_LE(got, 3);
      EXPECT_TRUE(
          std::all_of(out + got, out + sizeof out, [](unsigned char b) { return b == kSentinel; }));
      handedOut.insert(handedOut.end(), out, out + got);
    }
    EXPECT_LE(handedOut.size(), 4 * script.loads) << "counted more than a half per load";
    const std::size_t trusted = std::min(handedOut.size(), length / 4 * 4);
    EXPECT_TRUE(std::equal(handedOut.begin(), handedOut.begin() + trusted, script.data.begin()));
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + 16,
                            [](unsigned char b) { return b == kSentinel; }));
    EXPECT_TRUE(std::all_of(buffer.end() - 16, buffer.end(),
                            [](unsigned char b) { return b == kSentinel; }));
  }
  // A negative count stores nothing trustworthy: the first call ends the sequence.
  Script script;
  script.data = Data(37, 5);
  script.overReport = -1000;
  Bytes buffer(8, kSentinel);
  TestRing ring(&script, buffer.data(), 8, 4);
  unsigned char out[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
  EXPECT_EQ(ring.GetData(out, 3), 0);
  EXPECT_EQ(ring.GetData(out, 3), 0);
  EXPECT_EQ(script.loads, 1u);
  EXPECT_TRUE(std::all_of(out, out + 4, [](unsigned char b) { return b == kSentinel; }));
}

TEST(DoubleBufferRingTest, RandomStallsNeverLeakOrLoseBytes) {
  std::mt19937_64 rng(77);
  for (int round = 0; round < 3000; ++round) {
    const std::int32_t half = std::uniform_int_distribution<std::int32_t>(1, 40)(rng);
    const std::int32_t chunk = std::uniform_int_distribution<std::int32_t>(1, half)(rng);
    Script script;
    script.data = Data(std::uniform_int_distribution<std::size_t>(0, 12 * half)(rng),
                       static_cast<unsigned>(round));
    script.reportsEnd = std::uniform_int_distribution<int>(0, 1)(rng) == 1;
    const int loads = std::uniform_int_distribution<int>(0, 12)(rng);
    for (int i = 0; i < loads; ++i) {
      const bool stall = std::uniform_int_distribution<int>(0, 5)(rng) == 0;
      script.caps.push_back(stall ? std::uniform_int_distribution<std::int32_t>(0, half - 1)(rng)
                                  : half);
    }
    std::vector<std::int32_t> requests;
    const int calls = std::uniform_int_distribution<int>(1, 30)(rng);
    for (int i = 0; i < calls; ++i) {
      requests.push_back(std::uniform_int_distribution<int>(0, 4)(rng) == 0
                             ? -1
                             : std::uniform_int_distribution<std::int32_t>(1, half)(rng));
    }
    SCOPED_TRACE("round " + std::to_string(round));
    CheckRun(script, 2 * half, chunk, requests);
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace vantry
