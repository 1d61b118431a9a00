#include "io/mem_double_buffering.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/data_stream.h"
#include "support/test_support.h"

namespace vantry {
namespace {

using test::Bytes;

constexpr const char* kEvenMessage = "CMemDoubleBuffering: m_iSize should be Even Number!";
constexpr const char* kDataMessage = "CMemDoubleBuffering: Illegal Construction Data!";

Bytes Data(std::size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  return test::RandomBytes(rng, n);
}

// Drains with GetData(-1) and returns the sizes and the bytes.
std::vector<std::int32_t> Drain(CMemDoubleBuffering& chunks, std::int32_t chunk, Bytes* bytes) {
  std::vector<std::int32_t> sizes;
  Bytes out(static_cast<std::size_t>(chunk));
  for (;;) {
    const std::int32_t got = chunks.GetData(out.data(), -1);
    sizes.push_back(got);
    bytes->insert(bytes->end(), out.begin(), out.begin() + got);
    if (got == 0) return sizes;
  }
}

TEST(MemDoubleBufferingTest, ConstructionFailsInOrderAndTouchesNothing) {
  struct Case {
    std::int32_t size;
    std::int32_t chunk;
    bool nullBuffer;
    const char* message;
  };
  const std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  const std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const Case cases[] = {
      // The even test comes first, whatever else is wrong.
      {1023, 0, false, kEvenMessage},
      {1023, 384, false, kEvenMessage},
      {1, 1, false, kEvenMessage},
      {-3, 1, false, kEvenMessage},
      {kMax, 1, false, kEvenMessage},
      {1025, 512, true, kEvenMessage},
      // Then the size, the chunk and the buffer.
      {0, 1, false, kDataMessage},
      {0, 0, false, kDataMessage},
      {-2, 1, false, kDataMessage},
      {-1024, -1, false, kDataMessage},
      {kMin, 1, false, kDataMessage},
      {1024, 0, false, kDataMessage},
      {1024, -1, false, kDataMessage},
      {1024, kMin, false, kDataMessage},
      {1024, 513, false, kDataMessage},
      {1024, 1024, false, kDataMessage},
      {2, 2, false, kDataMessage},
      {1024, 384, true, kDataMessage},
  };
  const Bytes data = Data(100, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE("size " + std::to_string(c.size) + " chunk " + std::to_string(c.chunk) +
                 (c.nullBuffer ? " null buffer" : ""));
    CDataStream source;
    source.Attach(data.data(), 100);
    Bytes buffer(8, 0xEE);
    try {
      CMemDoubleBuffering chunks(&source, c.nullBuffer ? nullptr : buffer.data(), c.size, c.chunk);
      ADD_FAILURE() << "constructed";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    // Nothing was loaded: the source still starts at its first byte.
    unsigned char first = 0;
    EXPECT_EQ(source.Read(&first, 1, 1), 1u);
    EXPECT_EQ(first, data[0]);
    EXPECT_EQ(buffer, Bytes(8, 0xEE));
  }
}

TEST(MemDoubleBufferingTest, ConstructionLoadsTheLowerHalfAtOnce) {
  for (std::size_t length : {1u, 511u, 512u, 513u, 2000u}) {
    SCOPED_TRACE(std::to_string(length) + " source bytes");
    const Bytes data = Data(length, 2);
    CDataStream source;
    source.Attach(data.data(), static_cast<std::int32_t>(length));
    Bytes buffer(1024, 0xEE);
    CMemDoubleBuffering chunks(&source, buffer.data(), 1024, 384);
    const std::size_t loaded = std::min<std::size_t>(length, 512);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + loaded, buffer.begin()));
    EXPECT_EQ(Bytes(buffer.begin() + loaded, buffer.end()), Bytes(1024 - loaded, 0xEE));
    EXPECT_EQ(source.AtEnd(), length <= 512 ? 1 : 0);
  }
}

TEST(MemDoubleBufferingTest, SourcesWithoutDataYieldNothing) {
  CDataStream nothingOpen;
  CDataStream nullBlock;
  nullBlock.Attach(static_cast<const unsigned char*>(nullptr), 50);
  CDataStream* const sources[] = {nullptr, &nothingOpen, &nullBlock};
  for (CDataStream* source : sources) {
    Bytes buffer(1024);
    CMemDoubleBuffering chunks(source, buffer.data(), 1024, 384);
    unsigned char out[384];
    EXPECT_EQ(chunks.GetData(out, -1), 0);
    EXPECT_EQ(chunks.GetData(out, 1), 0);
  }
}

TEST(MemDoubleBufferingTest, ReadsFromTheSourcesCurrentPosition) {
  const Bytes data = Data(1000, 3);
  CDataStream source;
  source.Attach(data.data(), 1000);
  Bytes skipped(100);
  ASSERT_EQ(source.Read(skipped.data(), 1, 100), 100u);
  Bytes buffer(1024);
  CMemDoubleBuffering chunks(&source, buffer.data(), 1024, 384);
  Bytes out;
  EXPECT_EQ(Drain(chunks, 384, &out), (std::vector<std::int32_t>{384, 384, 132, 0}));
  EXPECT_EQ(out, Bytes(data.begin() + 100, data.end()));
}

TEST(MemDoubleBufferingTest, AFileKindSourceIsCutLikeAMemoryOne) {
  // A stdio stream reports its end only after a short read, like a file stream; the chunks are
  // the same as for memory.
  test::TempDir dir;
  for (std::size_t length : {0u, 384u, 512u, 1000u, 1024u, 1536u, 3000u}) {
    SCOPED_TRACE(std::to_string(length) + " source bytes");
    const Bytes data = Data(length, 4);
    const std::string path = dir.File("source" + std::to_string(length));
    test::WriteFile(path, data);
    CDataStream source;
    source.AttachFile(std::fopen(path.c_str(), "rb"));
    Bytes buffer(1024);
    CMemDoubleBuffering chunks(&source, buffer.data(), 1024, 384);
    Bytes out;
    std::vector<std::int32_t> expected(length / 384, 384);
    if (length % 384 != 0) expected.push_back(static_cast<std::int32_t>(length % 384));
    expected.push_back(0);
    EXPECT_EQ(Drain(chunks, 384, &out), expected);
    EXPECT_EQ(out, data);
  }
}

}  // namespace
}  // namespace vantry
