// Both double buffers driven by arbitrary sizes and request lengths, held against the simplest
// model of what they promise: the source's bytes in order, min(n, left) per legal request, a
// refused request changes nothing, and the end is 0 for ever after.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_files.h"
#include "fuzz_input.h"
#include "io/data_stream.h"
#include "io/double_buffering.h"
#include "io/mem_double_buffering.h"

using vantry::fuzz::Check;
using vantry::fuzz::FuzzInput;

namespace {

struct Plan {
  std::int32_t size;
  std::int32_t dataLen;
  std::vector<std::int32_t> requests;
  std::vector<std::uint8_t> source;
};

bool ThrowsText(const std::exception& e, const char* text) {
  return std::strcmp(e.what(), text) == 0;
}

// Runs the plan on a constructed buffer; getData is its GetData.
template <class GetData>
void Drive(const Plan& plan, GetData getData) {
  const std::int32_t half = plan.size / 2;
  std::size_t pos = 0;
  std::vector<unsigned char> out(static_cast<std::size_t>(half) + 1);
  auto request = [&](std::int32_t asked) {
    const std::int32_t n = asked == -1 ? plan.dataLen : asked;
    const bool legal = n >= 1 && n <= half;
    // One guard byte past what the call may write.
    std::memset(out.data(), 0xA5, out.size());
    std::int32_t got = -2;
    try {
      got = getData(out.data(), asked);
    } catch (const std::runtime_error& e) {
      Check(!legal, "a legal request was refused");
      Check(ThrowsText(e, "CDoubleBuffering::GetData(): Illegal iDataLen!"),
            "a refused request has another message");
      return std::int32_t{-1};
    }
    Check(legal, "an illegal request was served");
    const std::size_t left = plan.source.size() - pos;
    const std::size_t expected =
        static_cast<std::size_t>(n) < left ? static_cast<std::size_t>(n) : left;
    Check(got == static_cast<std::int32_t>(expected), "delivered count differs from min(n, left)");
    Check(expected == 0 || std::memcmp(out.data(), plan.source.data() + pos, expected) == 0,
          "delivered bytes differ from the source");
    for (std::size_t i = static_cast<std::size_t>(n); i < out.size(); ++i) {
      Check(out[i] == 0xA5, "wrote past the requested length");
    }
    pos += expected;
    return got;
  };
  for (std::int32_t asked : plan.requests) {
    request(asked);
  }
  // Then drain with the default chunk: everything must arrive, then 0 for good.
  while (request(-1) > 0) {
  }
  Check(pos == plan.source.size(), "the source was not delivered whole");
  Check(request(-1) == 0, "a drained buffer delivered more");
}

template <class Make>
void Construct(const Plan& plan, const char* oddMessage, const char* constructionMessage,
               Make make) {
  const bool odd = plan.size % 2 != 0;
  const bool bad = plan.dataLen < 1 || plan.size / 2 < plan.dataLen;
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[plan.size > 0 ? plan.size : 1]);
  try {
    make(buffer.get());
  } catch (const std::runtime_error& e) {
    if (odd) {
      Check(ThrowsText(e, oddMessage), "an odd size has another message");
    } else {
      Check(bad, "a sound construction was refused");
      Check(ThrowsText(e, constructionMessage), "bad construction data has another message");
    }
    return;
  }
  Check(!odd && !bad, "a refused construction was accepted");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  Plan plan;
  // Mostly small even sizes, so the ring wraps often; sometimes anything at all.
  const std::uint8_t shape = in.Byte();
  if (shape < 224) {
    plan.size = 2 * (1 + in.Byte() % 64);
    plan.dataLen = 1 + in.Byte() % (plan.size / 2);
  } else {
    plan.size = static_cast<std::int16_t>(in.U16());
    plan.dataLen = static_cast<std::int16_t>(in.U16());
  }
  const std::size_t requestCount = in.Byte() % 32;
  for (std::size_t i = 0; i < requestCount; ++i) {
    const std::uint8_t kind = in.Byte();
    // -1, or a length around the legal range 1..size/2, or any 16-bit value.
    plan.requests.push_back(kind < 64    ? -1
                            : kind < 224 ? static_cast<std::int32_t>(in.Byte()) %
                                               std::max<std::int32_t>(plan.size / 2 + 2, 1)
                                         : static_cast<std::int16_t>(in.U16()));
  }
  const std::size_t skip = in.Byte() % 8;  // the file stream's position at construction
  const std::vector<std::uint8_t> rest = in.Rest();
  plan.source = rest;

  // CMemDoubleBuffering over a read-only memory stream.
  {
    vantry::CDataStream stream;
    stream.Attach(static_cast<const unsigned char*>(rest.data()),
                  static_cast<std::int32_t>(rest.size()));
    std::unique_ptr<vantry::CMemDoubleBuffering> buffering;
    Construct(plan, "CMemDoubleBuffering: m_iSize should be Even Number!",
              "CMemDoubleBuffering: Illegal Construction Data!", [&](unsigned char* buffer) {
                buffering = std::make_unique<vantry::CMemDoubleBuffering>(&stream, buffer,
                                                                          plan.size, plan.dataLen);
                Drive(plan, [&](unsigned char* out, std::int32_t n) {
                  return buffering->GetData(out, n);
                });
              });
  }

  // CDoubleBuffering over a file stream positioned `skip` bytes in.
  {
    const std::string name = vantry::fuzz::FuzzFolder::Get().File("source");
    vantry::fuzz::WriteBytes(name, rest);
    std::ifstream stream(name, std::ios::binary);
    const std::size_t skipped = skip < rest.size() ? skip : rest.size();
    stream.seekg(static_cast<std::streamoff>(skipped));
    plan.source.assign(rest.begin() + static_cast<std::ptrdiff_t>(skipped), rest.end());
    std::unique_ptr<vantry::CDoubleBuffering> buffering;
    Construct(plan, "CDoubleBuffering: m_iSize should be Even Number!",
              "CDoubleBuffering: Illegal Construction Data!", [&](unsigned char* buffer) {
                buffering = std::make_unique<vantry::CDoubleBuffering>(&stream, buffer, plan.size,
                                                                       plan.dataLen);
                Drive(plan, [&](unsigned char* out, std::int32_t n) {
                  return buffering->GetData(out, n);
                });
              });
  }
  return 0;
}
