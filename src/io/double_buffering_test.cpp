#include "io/double_buffering.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <limits>
#include <random>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vantry {
namespace {

using test::Bytes;

constexpr const char* kEvenMessage = "CDoubleBuffering: m_iSize should be Even Number!";
constexpr const char* kStreamMessage =
    "CDoubleBuffering: Referenced File not Opened or in Bad State!";
constexpr const char* kDataMessage = "CDoubleBuffering: Illegal Construction Data!";

Bytes Data(std::size_t n, unsigned seed) {
  std::mt19937_64 rng(seed);
  return test::RandomBytes(rng, n);
}

enum class StreamState { kNull, kClosed, kOpen, kBad };

const char* Name(StreamState state) {
  switch (state) {
    case StreamState::kNull:
      return "null stream";
    case StreamState::kClosed:
      return "closed stream";
    case StreamState::kOpen:
      return "open stream";
    case StreamState::kBad:
      return "bad stream";
  }
  return "";
}

TEST(DoubleBufferingTest, ConstructionFailsInOrderAndTouchesNothing) {
  struct Case {
    StreamState stream;
    std::int32_t size;
    std::int32_t chunk;
    bool nullBuffer;
    const char* message;
  };
  const std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  const Case cases[] = {
      // The even test comes first,
      {StreamState::kClosed, 1023, 384, false, kEvenMessage},
      {StreamState::kClosed, 1023, 0, false, kEvenMessage},
      {StreamState::kNull, 1023, 384, false, kEvenMessage},
      {StreamState::kBad, 1, 1, false, kEvenMessage},
      {StreamState::kOpen, -3, 1, false, kEvenMessage},
      {StreamState::kOpen, 1025, 0, true, kEvenMessage},
      // then the stream,
      {StreamState::kClosed, 1024, 0, false, kStreamMessage},
      {StreamState::kClosed, 0, 1, false, kStreamMessage},
      {StreamState::kClosed, 1024, 384, false, kStreamMessage},
      {StreamState::kNull, 1024, 384, false, kStreamMessage},
      {StreamState::kBad, 1024, 384, false, kStreamMessage},
      {StreamState::kBad, 1024, 513, true, kStreamMessage},
      // then the size, the chunk and the buffer.
      {StreamState::kOpen, 0, 1, false, kDataMessage},
      {StreamState::kOpen, -2, 1, false, kDataMessage},
      {StreamState::kOpen, kMin, 1, false, kDataMessage},
      {StreamState::kOpen, 1024, 0, false, kDataMessage},
      {StreamState::kOpen, 1024, -1, false, kDataMessage},
      {StreamState::kOpen, 1024, 513, false, kDataMessage},
      {StreamState::kOpen, 2, 2, false, kDataMessage},
      {StreamState::kOpen, 1024, 384, true, kDataMessage},
  };
  test::TempDir dir;
  const Bytes data = Data(100, 1);
  const std::string path = dir.File("input.bin");
  test::WriteFile(path, data);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(Name(c.stream)) + " size " + std::to_string(c.size) + " chunk " +
                 std::to_string(c.chunk) + (c.nullBuffer ? " null buffer" : ""));
    std::ifstream stream;
    if (c.stream != StreamState::kClosed) stream.open(path, std::ios::in | std::ios::binary);
    if (c.stream == StreamState::kBad) stream.setstate(std::ios::badbit);
    Bytes buffer(8, 0xEE);
    try {
      CDoubleBuffering chunks(c.stream == StreamState::kNull ? nullptr : &stream,
                              c.nullBuffer ? nullptr : buffer.data(), c.size, c.chunk);
      ADD_FAILURE() << "constructed";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(buffer, Bytes(8, 0xEE));
    if (c.stream == StreamState::kOpen) {
      EXPECT_EQ(stream.tellg(), std::streampos(0)) << "the failed construction read the stream";
    }
  }
}

TEST(DoubleBufferingTest, StreamsAtTheirEndOrFailedPassConstructionAndYieldNothing) {
  test::TempDir dir;
  struct Case {
    const char* name;
    std::size_t fileBytes;
    std::size_t headerRead;  // bytes read before construction
    bool setFail;
  };
  const Case cases[] = {
      {"empty file", 0, 0, false},
      {"read to its end", 100, 100, false},
      {"file too short for the header", 20, 32, false},
      {"header and nothing else", 32, 32, false},
      {"fail flag set", 100, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(std::string("input-") + std::to_string(c.fileBytes));
    test::WriteFile(path, Data(c.fileBytes, 2));
    std::ifstream stream(path, std::ios::in | std::ios::binary);
    ASSERT_TRUE(stream.is_open());
    std::vector<char> header(c.headerRead + 1);
    stream.read(header.data(), static_cast<std::streamsize>(c.headerRead));
    if (c.setFail) stream.setstate(std::ios::failbit);
    Bytes buffer(1024);
    CDoubleBuffering chunks(&stream, buffer.data(), 1024, 384);
    unsigned char out[384];
    EXPECT_EQ(chunks.GetData(out, -1), 0);
    EXPECT_EQ(chunks.GetData(out, 1), 0);
  }
}

TEST(DoubleBufferingTest, TheStreamStaysOpenAfterTheObjectIsGone) {
  test::TempDir dir;
  const Bytes data = Data(1000, 3);
  const std::string path = dir.File("input.bin");
  test::WriteFile(path, data);
  std::ifstream stream(path, std::ios::in | std::ios::binary);
  {
    Bytes buffer(1024);
    CDoubleBuffering chunks(&stream, buffer.data(), 1024, 384);
    unsigned char out[384];
    EXPECT_EQ(chunks.GetData(out, -1), 384);
  }
  EXPECT_TRUE(stream.is_open());
  // Two halves were loaded; the stream stands at the end of the file, still readable after clear.
  stream.clear();
  stream.seekg(0);
  char first = 0;
  stream.read(&first, 1);
  EXPECT_EQ(static_cast<unsigned char>(first), data[0]);
}

// A stream buffer that hands out the first failAt bytes of data and then fails the way a broken
// device does: by throwing from inside the read. The stream turns that into its bad flag,
// without the end-of-file flag that the double buffer normally sees at the end.
class FailingBuffer : public std::streambuf {
 public:
  FailingBuffer(Bytes data, std::size_t failAt) : m_data(std::move(data)) {
    char* begin = reinterpret_cast<char*>(m_data.data());
    setg(begin, begin, begin + failAt);
  }

 protected:
  int_type underflow() override { throw std::runtime_error("device gone"); }

 private:
  Bytes m_data;
};

TEST(DoubleBufferingTest, AStreamGoingBadMidReadEndsTheSequenceWithOnlyGoodBytes) {
  test::TempDir dir;
  const std::string path = dir.File("placeholder.bin");
  test::WriteFile(path, Bytes(4, 0));
  for (std::size_t failAt : {0u, 1u, 383u, 511u, 512u, 513u, 700u, 1023u, 1024u, 1025u, 1500u}) {
    for (std::int32_t request : {-1, 1, 100, 511, 512}) {
      SCOPED_TRACE("fails after " + std::to_string(failAt) + " bytes, requests of " +
                   std::to_string(request));
      const Bytes data = Data(4000, 4);
      FailingBuffer failing(data, failAt);
      std::ifstream stream(path, std::ios::in | std::ios::binary);
      ASSERT_TRUE(stream.is_open());
      stream.std::ios::rdbuf(&failing);  // is_open still reports the real file
      Bytes buffer(1024);
      CDoubleBuffering chunks(&stream, buffer.data(), 1024, 384);
      const std::int32_t n = request == -1 ? 384 : request;
      Bytes handedOut;
      std::int32_t got = 0;
      do {
        Bytes out(static_cast<std::size_t>(n) + 4, 0xEE);
        got = chunks.GetData(out.data(), request);
        ASSERT_LE(got, n);
        EXPECT_EQ(Bytes(out.begin() + got, out.end()), Bytes(out.size() - got, 0xEE));
        handedOut.insert(handedOut.end(), out.begin(), out.begin() + got);
      } while (got == n);
      EXPECT_TRUE(stream.bad());
      unsigned char out[512];
      EXPECT_EQ(chunks.GetData(out, request), 0);
      // Only bytes from reads that completed: never more than the stream delivered before it
      // broke, and exactly those, in order.
      EXPECT_LE(handedOut.size(), failAt);
      EXPECT_TRUE(std::equal(handedOut.begin(), handedOut.end(), data.begin()));
    }
  }
}

}  // namespace
}  // namespace vantry
