// What CMemDoubleBuffering and CDoubleBuffering have in common: the chunk sizes they return, the
// bytes they hand out and their GetData failures, run for a memory source, a file read from its
// start and a file read from behind a 32-byte header.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/data_stream.h"
#include "io/double_buffering.h"
#include "io/mem_double_buffering.h"
#include "support/test_support.h"

namespace vantry {
namespace {

using test::Bytes;

constexpr unsigned char kSentinel = 0xEE;
constexpr std::size_t kGuard = 16;

// The working buffer with guard bytes on both sides, to catch loads outside the m_iSize bytes.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(std::int32_t size)
      : m_bytes(static_cast<std::size_t>(size) + 2 * kGuard, kSentinel) {}
  unsigned char* data() { return m_bytes.data() + kGuard; }
  bool GuardsIntact() const {
    return std::all_of(m_bytes.begin(), m_bytes.begin() + kGuard,
                       [](unsigned char b) { return b == kSentinel; }) &&
           std::all_of(m_bytes.end() - kGuard, m_bytes.end(),
                       [](unsigned char b) { return b == kSentinel; });
  }

 private:
  std::vector<unsigned char> m_bytes;
};

class MemorySetup {
 public:
  static constexpr const char* kName = "memory";
  void Build(const Bytes& source, std::int32_t size, std::int32_t chunk) {
    m_source = source;
    m_stream.Attach(static_cast<const unsigned char*>(m_source.data()),
                    static_cast<std::int32_t>(m_source.size()));
    m_buffer = std::make_unique<GuardedBuffer>(size);
    m_chunks = std::make_unique<CMemDoubleBuffering>(&m_stream, m_buffer->data(), size, chunk);
  }
  std::int32_t GetData(unsigned char* out, std::int32_t n) { return m_chunks->GetData(out, n); }
  bool GuardsIntact() const { return m_buffer->GuardsIntact(); }

 private:
  Bytes m_source;
  CDataStream m_stream;
  std::unique_ptr<GuardedBuffer> m_buffer;
  std::unique_ptr<CMemDoubleBuffering> m_chunks;
};

template <std::size_t kHeader>
class FileSetup {
 public:
  static constexpr const char* kName = kHeader == 0 ? "file" : "file after header";
  void Build(const Bytes& source, std::int32_t size, std::int32_t chunk) {
    std::mt19937_64 rng(source.size());
    Bytes file = test::RandomBytes(rng, kHeader);
    file.insert(file.end(), source.begin(), source.end());
    const std::string path = m_dir.File("input.bin");
    test::WriteFile(path, file);
    m_stream.open(path, std::ios::in | std::ios::binary);
    ASSERT_TRUE(m_stream.is_open());
    if (kHeader != 0) {
      std::vector<char> header(kHeader);
      m_stream.read(header.data(), kHeader);
      ASSERT_EQ(m_stream.gcount(), static_cast<std::streamsize>(kHeader));
    }
    m_buffer = std::make_unique<GuardedBuffer>(size);
    m_chunks = std::make_unique<CDoubleBuffering>(&m_stream, m_buffer->data(), size, chunk);
  }
  std::int32_t GetData(unsigned char* out, std::int32_t n) { return m_chunks->GetData(out, n); }
  bool GuardsIntact() const { return m_buffer->GuardsIntact(); }

 private:
  test::TempDir m_dir;
  std::ifstream m_stream;
  std::unique_ptr<GuardedBuffer> m_buffer;
  std::unique_ptr<CDoubleBuffering> m_chunks;
};

Bytes Source(std::size_t n) {
  std::mt19937_64 rng(n * 7919 + 1);
  return test::RandomBytes(rng, n);
}

// Runs the requests (-1 for the default chunk) and checks every call against the model: each
// call delivers min(n, bytes left) of the source in order, and once a call delivers fewer than
// n, every later call returns 0 and leaves out untouched. Returns the sizes returned.
template <class Setup>
std::vector<std::int32_t> Replay(Setup& setup, const Bytes& source,
                                 const std::vector<std::int32_t>& requests,
                                 std::int32_t defaultChunk) {
  std::vector<std::int32_t> sizes;
  std::size_t delivered = 0;
  bool ended = false;
  for (std::size_t call = 0; call < requests.size(); ++call) {
    const std::int32_t n = requests[call] == -1 ? defaultChunk : requests[call];
    Bytes out(static_cast<std::size_t>(n) + kGuard, kSentinel);
    const std::int32_t got = setup.GetData(out.data(), requests[call]);
    sizes.push_back(got);
    const std::size_t left = source.size() - delivered;
    const std::size_t want = ended ? 0 : std::min(static_cast<std::size_t>(n), left);
    EXPECT_EQ(got, static_cast<std::int32_t>(want)) << "call " << call << " asking " << n;
    if (got != static_cast<std::int32_t>(want)) return sizes;
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + got, source.begin() + delivered))
        << "call " << call << " handed out the wrong bytes";
    EXPECT_TRUE(
        std::all_of(out.begin() + got, out.end(), [](unsigned char b) { return b == kSentinel; }))
        << "call " << call << " wrote past the bytes it returned";
    delivered += static_cast<std::size_t>(got);
    if (got < n) ended = true;
  }
  EXPECT_TRUE(setup.GuardsIntact()) << "a load went outside the working buffer";
  return sizes;
}

// Calls GetData(-1) until it returns 0 (and twice more) and returns the sizes.
template <class Setup>
std::vector<std::int32_t> Drain(Setup& setup, const Bytes& source, std::int32_t chunk) {
  const std::size_t calls = source.size() / static_cast<std::size_t>(chunk) + 4;
  std::vector<std::int32_t> sizes =
      Replay(setup, source, std::vector<std::int32_t>(calls, -1), chunk);
  while (sizes.size() > 1 && sizes.back() == 0 && sizes[sizes.size() - 2] == 0) sizes.pop_back();
  return sizes;
}

template <class Setup>
class DoubleBuffersTest : public ::testing::Test {};

using Setups = ::testing::Types<MemorySetup, FileSetup<0>, FileSetup<32>>;
struct SetupNames {
  template <class T>
  static std::string GetName(int) {
    std::string name = T::kName;
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
  }
};
TYPED_TEST_SUITE(DoubleBuffersTest, Setups, SetupNames);

TYPED_TEST(DoubleBuffersTest, CallersChunkSizesMatchTheKnownTable) {
  struct Row {
    std::size_t source;
    std::vector<std::int32_t> sizes;
  };
  const std::vector<Row> table = {
      {0, {0}},
      {384, {384, 0}},
      {512, {384, 128, 0}},
      {768, {384, 384, 0}},
      {1000, {384, 384, 232, 0}},
      {1024, {384, 384, 256, 0}},
      {1536, {384, 384, 384, 384, 0}},
      {3000, {384, 384, 384, 384, 384, 384, 384, 312, 0}},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(std::to_string(row.source) + " source bytes");
    TypeParam setup;
    const Bytes source = Source(row.source);
    setup.Build(source, 1024, 384);
    EXPECT_EQ(Drain(setup, source, 384), row.sizes);
  }
}

TYPED_TEST(DoubleBuffersTest, SourcesAroundEveryBoundaryComeOutInWholeChunks) {
  // Every length around the chunk, the half and the buffer, multiples of the half (where one
  // load delivers nothing), the smallest buffer and the largest chunk: GetData(-1) yields
  // floor(N / chunk) full chunks, then N mod chunk if not 0, then 0.
  struct Shape {
    std::int32_t size;
    std::int32_t chunk;
    std::vector<std::size_t> lengths;
  };
  const std::vector<Shape> shapes = {
      {1024, 384, {1,    2,    15,   16,   17,   127,  128,  129,  255,  256,  257,  383,
                   385,  511,  512,  513,  767,  769,  1023, 1024, 1025, 1151, 1152, 1153,
                   1535, 1536, 1537, 2047, 2048, 2049, 2560, 3072, 4095, 4096, 4097, 9999}},
      {2, 1, {0, 1, 2, 3, 17}},
      {1024, 512, {0, 511, 512, 513, 1024, 1025, 3000}},
      {1024, 1, {0, 1, 600, 1100}},
      {1026, 100, {0, 99, 100, 513, 1026, 2052, 2053}},
  };
  for (const Shape& shape : shapes) {
    for (std::size_t n : shape.lengths) {
      SCOPED_TRACE("buffer " + std::to_string(shape.size) + ", chunk " +
                   std::to_string(shape.chunk) + ", " + std::to_string(n) + " source bytes");
      TypeParam setup;
      const Bytes source = Source(n);
      setup.Build(source, shape.size, shape.chunk);
      const std::size_t chunk = static_cast<std::size_t>(shape.chunk);
      std::vector<std::int32_t> expected(n / chunk, shape.chunk);
      if (n % chunk != 0) expected.push_back(static_cast<std::int32_t>(n % chunk));
      expected.push_back(0);
      EXPECT_EQ(Drain(setup, source, shape.chunk), expected);
    }
  }
}

TYPED_TEST(DoubleBuffersTest, RequestsEndingExactlyAtTheLoadedBytes) {
  // Requests that land exactly on the end of each half, then run over the wrap.
  struct Case {
    std::size_t source;
    std::vector<std::int32_t> requests;
  };
  const std::vector<Case> cases = {
      {1024, {512, 512, 1, 1}},
      {1025, {512, 512, 1, 1}},
      {2048, {512, 512, 512, 512, 1, 1}},
      {2048, {500, 12, 500, 24, 500, 512, 512, 1}},
      {1030, {511, 1, 511, 2, 510, 5, 1}},
      {1536, {256, 256, 256, 256, 512, 100, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.source) + " source bytes");
    TypeParam setup;
    const Bytes source = Source(c.source);
    setup.Build(source, 1024, 384);
    Replay(setup, source, c.requests, 384);
  }
}

TYPED_TEST(DoubleBuffersTest, RandomRequestsMatchTheModel) {
  std::mt19937_64 rng(20240607);
  for (int round = 0; round < 300; ++round) {
    const std::int32_t half = std::uniform_int_distribution<std::int32_t>(1, 700)(rng);
    const std::int32_t size = 2 * half;
    const std::int32_t chunk = std::uniform_int_distribution<std::int32_t>(1, half)(rng);
    const std::size_t length = std::uniform_int_distribution<std::size_t>(0, 6 * half)(rng);
    SCOPED_TRACE("round " + std::to_string(round) + ": size " + std::to_string(size) + ", chunk " +
                 std::to_string(chunk) + ", source " + std::to_string(length));
    const Bytes source = Source(length);
    std::vector<std::int32_t> requests;
    std::size_t asked = 0;
    while (asked <= length + static_cast<std::size_t>(half)) {
      const bool useDefault = std::uniform_int_distribution<int>(0, 3)(rng) == 0;
      const std::int32_t n =
          useDefault ? -1 : std::uniform_int_distribution<std::int32_t>(1, half)(rng);
      requests.push_back(n);
      asked += static_cast<std::size_t>(n == -1 ? chunk : n);
    }
    requests.insert(requests.end(), {1, half, -1});
    TypeParam setup;
    setup.Build(source, size, chunk);
    Replay(setup, source, requests, chunk);
    if (::testing::Test::HasFailure()) break;
  }
}

TYPED_TEST(DoubleBuffersTest, IllegalLengthsThrowAndChangeNothing) {
  const std::int32_t illegal[] = {0, -2, -3, 513, 1024, INT32_MIN, INT32_MAX};
  const Bytes source = Source(1000);
  TypeParam setup;
  setup.Build(source, 1024, 384);
  std::size_t delivered = 0;
  // Interleaved with legal calls through the whole sequence, past its end.
  for (std::int32_t legal : {100, 384, 384, 384, 384}) {
    for (std::int32_t n : illegal) {
      unsigned char out[8] = {kSentinel, kSentinel, kSentinel, kSentinel,
                              kSentinel, kSentinel, kSentinel, kSentinel};
      try {
        setup.GetData(out, n);
        ADD_FAILURE() << "GetData(" << n << ") did not throw";
      } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "CDoubleBuffering::GetData(): Illegal iDataLen!") << n;
      }
      EXPECT_TRUE(std::all_of(out, out + 8, [](unsigned char b) { return b == kSentinel; }));
    }
    Bytes out(static_cast<std::size_t>(legal));
    const std::int32_t got = setup.GetData(out.data(), legal);
    const std::size_t want = std::min(static_cast<std::size_t>(legal), source.size() - delivered);
    ASSERT_EQ(got, static_cast<std::int32_t>(want));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + got, source.begin() + delivered));
    delivered += want;
  }
  EXPECT_EQ(delivered, source.size());
}

}  // namespace
}  // namespace vantry
