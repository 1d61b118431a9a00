#include "io/data_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vantry {
namespace {

using test::Bytes;

// A malloc'd copy of bytes, so the stream may grow it; freed by the test after the stream.
struct HeapBlock {
  explicit HeapBlock(const Bytes& bytes)
      : p(static_cast<unsigned char*>(std::malloc(bytes.empty() ? 1 : bytes.size()))) {
    if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
  }
  ~HeapBlock() { std::free(p); }
  unsigned char* p;
};

Bytes Pattern(std::size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  return test::RandomBytes(rng, n);
}

// Capacity after growth, counted step by step rather than by division.
std::int32_t ModelCapacity(std::int32_t capacity, std::int64_t needed) {
  std::int64_t c = capacity;
  while (c < needed) c += 4096;
  return static_cast<std::int32_t>(c);
}

TEST(DataStreamTest, NothingOpenGivesTheFailureValues) {
  CDataStream stream;
  unsigned char buf[4] = {1, 2, 3, 4};
  EXPECT_EQ(stream.Read(buf, 1, 4), 0u);
  EXPECT_EQ(stream.LastCount(), 0);
  EXPECT_EQ(stream.Write(buf, 1, 4), 0u);
  EXPECT_EQ(stream.AtEnd(), -1);
  EXPECT_EQ(stream.Close(), 0);
  EXPECT_EQ(stream.Data(), nullptr);

  CDataStream nullBlock;
  nullBlock.Attach(static_cast<unsigned char*>(nullptr), 16);
  EXPECT_EQ(nullBlock.Read(buf, 1, 4), 0u);
  EXPECT_EQ(nullBlock.Write(buf, 1, 4), 0u);
  EXPECT_EQ(nullBlock.AtEnd(), -1);
}

struct ReadCase {
  std::int32_t length;
  std::size_t itemSize;
  std::size_t count;
  std::size_t items;      // result
  std::int32_t consumed;  // bytes taken from the block
};

TEST(DataStreamTest, ReadDeliversWholeItemsAndConsumesPartialOnes) {
  const ReadCase cases[] = {
      {10, 4, 3, 2, 10},          {10, 1, 10, 10, 10},       {10, 1, 11, 10, 10},
      {10, 10, 1, 1, 10},         {10, 11, 1, 0, 10},        {10, 5, 1, 1, 5},
      {10, 2, 3, 3, 6},           {0, 1, 1, 0, 0},           {1, 1, 1, 1, 1},
      {16, 16, 1, 1, 16},         {17, 16, 2, 1, 17},        {384, 384, 1, 1, 384},
      {385, 384, 1, 1, 384},      {383, 384, 1, 0, 383},     {1024, 512, 3, 2, 1024},
      {1025, 4, 1000, 256, 1025}, {1025, 4, 256, 256, 1024},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE("length " + std::to_string(c.length) + " item " + std::to_string(c.itemSize) +
                 " count " + std::to_string(c.count));
    const Bytes data = Pattern(static_cast<std::size_t>(c.length), 7);
    CDataStream stream;
    stream.Attach(data.data(), c.length);
    Bytes out(c.itemSize * c.count + 1, 0xEE);
    EXPECT_EQ(stream.Read(out.data(), c.itemSize, c.count), c.items);
    EXPECT_EQ(stream.LastCount(), static_cast<std::int32_t>(c.items));
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + c.consumed, out.begin()));
    EXPECT_EQ(out[static_cast<std::size_t>(c.consumed)], 0xEE) << "copied past the data";
    // What is left starts right behind the consumed bytes.
    unsigned char next = 0;
    const bool more = c.consumed < c.length;
    EXPECT_EQ(stream.Read(&next, 1, 1), more ? 1u : 0u);
    if (more) {
      EXPECT_EQ(next, data[static_cast<std::size_t>(c.consumed)]);
    }
    EXPECT_EQ(stream.Length(), c.length);
  }
}

TEST(DataStreamTest, ReadAfterTheEndResetsTheCountAndReportsTheEnd) {
  const Bytes data = Pattern(10, 1);
  CDataStream stream;
  stream.Attach(data.data(), 10);
  EXPECT_EQ(stream.AtEnd(), 0);
  unsigned char out[12] = {};
  ASSERT_EQ(stream.Read(out, 4, 3), 2u);
  EXPECT_EQ(stream.LastCount(), 2);
  EXPECT_EQ(stream.AtEnd(), 1);
  EXPECT_EQ(stream.Read(out, 4, 3), 0u);
  EXPECT_EQ(stream.LastCount(), 0);
  EXPECT_EQ(stream.AtEnd(), 1);
}

TEST(DataStreamTest, RefusedReadsLeaveThePositionAndZeroTheCount) {
  const Bytes data = Pattern(32, 2);
  unsigned char out[32] = {};
  struct Refused {
    const char* name;
    void* dst;
    std::size_t itemSize;
    std::size_t count;
  };
  const std::size_t kWraps = std::numeric_limits<std::size_t>::max() / 2 + 2;  // x 2 wraps to 2
  const Refused refused[] = {
      {"null destination", nullptr, 1, 4},
      {"zero item size", out, 0, 4},
      {"zero count", out, 4, 0},
      {"product wraps", out, kWraps, 2},
      {"product wraps the other way", out, 2, kWraps},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.name);
    CDataStream stream;
    stream.Attach(data.data(), 32);
    ASSERT_EQ(stream.Read(out, 1, 3), 3u);
    EXPECT_EQ(stream.Read(r.dst, r.itemSize, r.count), 0u);
    EXPECT_EQ(stream.LastCount(), 0);
    unsigned char next = 0;
    ASSERT_EQ(stream.Read(&next, 1, 1), 1u);
    EXPECT_EQ(next, data[3]) << "the refused read moved the position";
  }
}

TEST(DataStreamTest, ReadOfMoreThanFitsIn32BitsDeliversWhatIsThere) {
  if (sizeof(std::size_t) < 8) GTEST_SKIP() << "needs a 64-bit size_t";
  const Bytes data = Pattern(40, 3);
  CDataStream stream;
  stream.Attach(data.data(), 40);
  Bytes out(40);
  // 8 x 2^29 = 2^32 bytes asked: exact arithmetic clamps to the 40 present.
  EXPECT_EQ(stream.Read(out.data(), 8, std::size_t{1} << 29), 5u);
  EXPECT_EQ(out, data);
}

struct GrowthCase {
  std::int32_t block;  // attached size
  std::int32_t skip;   // bytes read before the write
  std::int32_t write;  // bytes written
  std::int32_t capacity;
  std::int32_t length;
};

TEST(DataStreamTest, WritesPastTheCapacityGrowInWholeStepsFromTheOldCapacity) {
  const GrowthCase cases[] = {
      {100, 0, 5000, 8292, 5000},  {100, 0, 100, 100, 100},    {100, 0, 101, 4196, 101},
      {100, 0, 4196, 4196, 4196},  {100, 0, 4197, 8292, 4197}, {48, 0, 3, 48, 48},
      {48, 40, 8, 48, 48},         {48, 40, 9, 4144, 49},      {0, 0, 1, 4096, 1},
      {0, 0, 4096, 4096, 4096},    {0, 0, 4097, 8192, 4097},   {1, 1, 0, 1, 1},
      {4096, 4096, 1, 8192, 4097}, {384, 383, 2, 4480, 385},   {1023, 1000, 1025, 5119, 2025},
  };
  for (const GrowthCase& c : cases) {
    SCOPED_TRACE("block " + std::to_string(c.block) + " skip " + std::to_string(c.skip) +
                 " write " + std::to_string(c.write));
    ASSERT_EQ(c.capacity, c.write == 0 ? c.block : ModelCapacity(c.block, c.skip + c.write));
    const Bytes original = Pattern(static_cast<std::size_t>(c.block), 4);
    const Bytes incoming = Pattern(static_cast<std::size_t>(c.write), 5);
    HeapBlock block(original);
    {
      CDataStream stream;
      stream.Attach(block.p, c.block);
      Bytes skipped(static_cast<std::size_t>(c.skip) + 1);
      ASSERT_EQ(stream.Read(skipped.data(), 1, static_cast<std::size_t>(c.skip)),
                static_cast<std::size_t>(c.skip));
      EXPECT_EQ(stream.Write(incoming.data(), 1, incoming.size()), incoming.size());
      EXPECT_EQ(stream.Capacity(), c.capacity);
      EXPECT_EQ(stream.Length(), c.length);
      EXPECT_EQ(stream.AtEnd(), c.skip + c.write >= c.length ? 1 : 0);
      // The block seen through the stream: old bytes before the write, the write, old bytes after.
      Bytes expected = original;
      expected.resize(static_cast<std::size_t>(c.length));
      std::copy(incoming.begin(), incoming.end(), expected.begin() + c.skip);
      EXPECT_EQ(Bytes(stream.Data(), stream.Data() + stream.Length()), expected);
      block.p = stream.Data();  // the stream may have moved it; the caller still frees it
      EXPECT_EQ(stream.Close(), -1);
    }
  }
}

TEST(DataStreamTest, ManySmallWritesCollectInOrderAcrossGrowth) {
  const std::int32_t pieces[] = {1, 15, 16, 17, 383, 384, 385, 511, 512, 513, 1023, 1024, 1025};
  HeapBlock block(Bytes{});
  CDataStream sink;
  sink.Attach(block.p, 0);
  Bytes expected;
  std::int32_t capacity = 0;
  unsigned seed = 10;
  for (std::int32_t piece : pieces) {
    SCOPED_TRACE("piece " + std::to_string(piece));
    const Bytes bytes = Pattern(static_cast<std::size_t>(piece), seed++);
    EXPECT_EQ(sink.Write(bytes.data(), 1, bytes.size()), bytes.size());
    expected.insert(expected.end(), bytes.begin(), bytes.end());
    capacity = ModelCapacity(capacity, static_cast<std::int64_t>(expected.size()));
    EXPECT_EQ(sink.Capacity(), capacity);
    EXPECT_EQ(sink.Length(), static_cast<std::int32_t>(expected.size()));
  }
  EXPECT_EQ(Bytes(sink.Data(), sink.Data() + sink.Length()), expected);
  block.p = sink.Data();
}

TEST(DataStreamTest, WriteCountsItemsAndReturnsTheCount) {
  HeapBlock block(Bytes(8, 0));
  CDataStream stream;
  stream.Attach(block.p, 8);
  const Bytes bytes = Pattern(12, 6);
  EXPECT_EQ(stream.Write(bytes.data(), 4, 3), 3u);
  EXPECT_EQ(stream.Length(), 12);
  EXPECT_EQ(Bytes(stream.Data(), stream.Data() + 12), bytes);
  block.p = stream.Data();
}

TEST(DataStreamTest, ReadsAndWritesShareOnePosition) {
  const Bytes original = Pattern(48, 8);
  HeapBlock block(original);
  CDataStream stream;
  stream.Attach(block.p, 48);
  unsigned char out[10];
  ASSERT_EQ(stream.Read(out, 1, 10), 10u);
  const unsigned char patch[5] = {1, 2, 3, 4, 5};
  ASSERT_EQ(stream.Write(patch, 1, 5), 5u);
  ASSERT_EQ(stream.Read(out, 1, 10), 10u);
  EXPECT_TRUE(std::equal(out, out + 10, original.begin() + 15));
  Bytes expected = original;
  std::copy(patch, patch + 5, expected.begin() + 10);
  EXPECT_EQ(Bytes(stream.Data(), stream.Data() + 48), expected);
}

TEST(DataStreamTest, RefusedWritesChangeNothing) {
  const std::size_t kWraps = std::numeric_limits<std::size_t>::max() / 2 + 2;
  const std::size_t kInt32Max = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
  const unsigned char src[16] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
  struct Refused {
    const char* name;
    const void* src;
    std::size_t itemSize;
    std::size_t count;
  };
  // The stream sits at offset 10 of a 48-byte block when these arrive.
  const Refused refused[] = {
      {"null source", nullptr, 1, 4},
      {"zero item size", src, 0, 4},
      {"zero count", src, 4, 0},
      {"product wraps", src, kWraps, 2},
      {"product wraps the other way", src, 2, kWraps},
      {"end one past 2^31 - 1", src, 1, kInt32Max - 9},
      {"end far past 2^31 - 1", src, 1, kInt32Max + 1},
      {"items ending past 2^31 - 1", src, 1024, (kInt32Max + 1) / 1024},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.name);
    const Bytes original = Pattern(48, 9);
    HeapBlock block(original);
    CDataStream stream;
    stream.Attach(block.p, 48);
    unsigned char skipped[10];
    ASSERT_EQ(stream.Read(skipped, 1, 10), 10u);
    EXPECT_EQ(stream.Write(r.src, r.itemSize, r.count), 0u);
    EXPECT_EQ(stream.Data(), block.p);
    EXPECT_EQ(stream.Length(), 48);
    EXPECT_EQ(stream.Capacity(), 48);
    EXPECT_EQ(Bytes(block.p, block.p + 48), original);
    unsigned char next = 0;
    ASSERT_EQ(stream.Read(&next, 1, 1), 1u);
    EXPECT_EQ(next, original[10]) << "the refused write moved the position";
  }
}

TEST(DataStreamTest, ReadOnlyAttachReadsButNeverWrites) {
  const Bytes data = Pattern(20, 11);
  CDataStream stream;
  stream.Attach(static_cast<const unsigned char*>(data.data()), 20);
  const unsigned char patch[4] = {1, 2, 3, 4};
  EXPECT_EQ(stream.Write(patch, 1, 4), 0u);
  EXPECT_EQ(stream.Write(patch, 1, 40), 0u) << "a growing write must not realloc a const block";
  EXPECT_EQ(stream.Length(), 20);
  Bytes out(20);
  EXPECT_EQ(stream.Read(out.data(), 1, 20), 20u);
  EXPECT_EQ(out, data);
  EXPECT_EQ(stream.Write(patch, 1, 4), 0u);
  EXPECT_EQ(stream.Length(), 20);
  EXPECT_EQ(stream.Close(), -1);
}

TEST(DataStreamTest, ReattachingWritableAfterReadOnlyAllowsWrites) {
  const Bytes data = Pattern(20, 12);
  HeapBlock block(Bytes(4, 0));
  CDataStream stream;
  stream.Attach(static_cast<const unsigned char*>(data.data()), 20);
  stream.Attach(block.p, 4);
  const unsigned char patch[4] = {1, 2, 3, 4};
  EXPECT_EQ(stream.Write(patch, 1, 4), 4u);
  EXPECT_EQ(Bytes(block.p, block.p + 4), Bytes(patch, patch + 4));
}

TEST(DataStreamTest, NegativeSizeAttachesAnEmptyBlock) {
  HeapBlock block(Bytes(8, 0));
  CDataStream stream;
  stream.Attach(block.p, -5);
  unsigned char out[4];
  EXPECT_EQ(stream.Read(out, 1, 4), 0u);
  EXPECT_EQ(stream.AtEnd(), 1);
  EXPECT_EQ(stream.Length(), 0);
  const unsigned char patch[3] = {1, 2, 3};
  EXPECT_EQ(stream.Write(patch, 1, 3), 3u);
  EXPECT_EQ(stream.Capacity(), 4096);
  EXPECT_EQ(stream.Length(), 3);
  block.p = stream.Data();
}

TEST(DataStreamTest, CloseLeavesAnAttachedBlockAlone) {
  const Bytes original = Pattern(48, 13);
  HeapBlock block(original);
  {
    CDataStream stream;
    stream.Attach(block.p, 48);
    EXPECT_EQ(stream.Close(), -1);
    EXPECT_EQ(stream.Close(), -1);
    // Still attached and usable after Close.
    EXPECT_EQ(stream.Data(), block.p);
    unsigned char out[4];
    EXPECT_EQ(stream.Read(out, 1, 4), 4u);
  }
  // The destructor did not free it either (the sanitizer build would flag a double free below).
  EXPECT_EQ(Bytes(block.p, block.p + 48), original);
}

// A real stdio stream: tmpfile() where the system offers one, else a file in a temp folder.
struct StdioFile {
  StdioFile() {
    file = std::tmpfile();
    if (file == nullptr) file = std::fopen(dir.File("stream.bin").c_str(), "w+b");
  }
  test::TempDir dir;
  std::FILE* file = nullptr;
};

TEST(DataStreamTest, FileKindPassesStdioResultsThroughAndClosesItsFile) {
  StdioFile tmp;
  ASSERT_NE(tmp.file, nullptr);
  CDataStream stream;
  stream.AttachFile(tmp.file);
  const Bytes data = Pattern(10, 14);
  EXPECT_EQ(stream.Write(data.data(), 5, 2), 2u);
  EXPECT_EQ(stream.Write(nullptr, 1, 2), 0u);
  EXPECT_EQ(std::fflush(tmp.file), 0);
  std::rewind(tmp.file);
  EXPECT_EQ(stream.AtEnd(), 0);
  Bytes out(12, 0);
  EXPECT_EQ(stream.Read(out.data(), 4, 3), 2u);  // 10 bytes: two whole items of four
  EXPECT_EQ(stream.LastCount(), 2);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
  EXPECT_NE(stream.AtEnd(), 0);
  EXPECT_EQ(stream.Read(out.data(), 1, 1), 0u);
  EXPECT_EQ(stream.LastCount(), 0);
  EXPECT_EQ(stream.Read(nullptr, 1, 1), 0u);
  EXPECT_EQ(stream.Close(), 0);  // fclose'd: the sanitizer build reports a leaked FILE otherwise
  EXPECT_EQ(stream.AtEnd(), -1);
  EXPECT_EQ(stream.Read(out.data(), 1, 1), 0u);
  EXPECT_EQ(stream.Close(), 0);
}

TEST(DataStreamTest, AnOwnedFileIsClosedByWhateverEndsTheStreamsUseOfIt) {
  // Bytes written through stdio sit in its buffer until the FILE is flushed or closed, so the
  // file's content on disk shows whether the stream really closed it.
  enum class Ending { kClose, kDestructor, kAttachBlock, kAttachReadOnly, kAttachOtherFile };
  const std::pair<Ending, const char*> endings[] = {
      {Ending::kClose, "Close"},
      {Ending::kDestructor, "destructor"},
      {Ending::kAttachBlock, "attaching a block"},
      {Ending::kAttachReadOnly, "attaching a read-only block"},
      {Ending::kAttachOtherFile, "attaching another file"},
  };
  test::TempDir dir;
  const Bytes data = Pattern(100, 15);
  for (const auto& [ending, name] : endings) {
    SCOPED_TRACE(name);
    const std::string path = dir.File(std::string("owned-") + name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::FILE* other = nullptr;
    unsigned char block[6] = {1, 2, 3, 4, 5, 6};
    {
      CDataStream stream;
      stream.AttachFile(file);
      ASSERT_EQ(stream.Write(data.data(), 1, data.size()), data.size());
      switch (ending) {
        case Ending::kClose:
          EXPECT_EQ(stream.Close(), 0);
          break;
        case Ending::kDestructor:
          break;
        case Ending::kAttachBlock:
          stream.Attach(block, 6);
          break;
        case Ending::kAttachReadOnly:
          stream.Attach(static_cast<const unsigned char*>(block), 6);
          break;
        case Ending::kAttachOtherFile:
          other = std::fopen(dir.File(std::string("other-") + name).c_str(), "wb");
          ASSERT_NE(other, nullptr);
          stream.AttachFile(other);
          break;
      }
      if (ending != Ending::kDestructor) {
        EXPECT_EQ(test::ReadFile(path), data) << "the FILE was not closed";
      }
      if (ending == Ending::kAttachBlock) {
        unsigned char out[6];
        EXPECT_EQ(stream.Read(out, 1, 6), 6u);
        EXPECT_EQ(Bytes(out, out + 6), Bytes(block, block + 6));
      }
    }
    EXPECT_EQ(test::ReadFile(path), data);
  }
}

}  // namespace
}  // namespace vantry
