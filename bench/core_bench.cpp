// What the protected-file core would cost if its memory input ran through the double buffer of
// the io folder (CDataStream cut by CMemDoubleBuffering into 384-byte chunks) instead of the
// library's MemoryReader: the encryption of 64 MiB and 256 MiB from memory into a writer that
// keeps nothing, so that no disk time hides the difference.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_cases.h"
#include "bench_inputs.h"
#include "files/byte_streams.h"
#include "files/protected_core.h"
#include "io/data_stream.h"
#include "io/mem_double_buffering.h"
#include "vantry/rijndael_cipher.h"

namespace vantry::bench {
namespace {

// CMemDoubleBuffering as a ByteReader: whole chunks straight into the caller's buffer.
class DoubleBufferedReader final : public ByteReader {
 public:
  DoubleBufferedReader(const unsigned char* data, std::size_t size) {
    m_stream.Attach(data, static_cast<std::int32_t>(size));
    m_chunks = std::make_unique<CMemDoubleBuffering>(&m_stream, m_working, sizeof m_working, 384);
  }
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (n - done >= 384) {
      const std::int32_t got = m_chunks->GetData(out + done, -1);
      done += static_cast<std::size_t>(got);
      if (got < 384) {
        break;
      }
    }
    return done;
  }

 private:
  CDataStream m_stream;
  unsigned char m_working[1024] = {};
  std::unique_ptr<CMemDoubleBuffering> m_chunks;
};

class DiscardingWriter final : public ByteWriter {
 public:
  void Write(const void* data, std::size_t n) override {
    benchmark::DoNotOptimize(data);
    m_count += n;
  }
  void Commit() override {}

 private:
  std::size_t m_count = 0;
};

template <class Reader>
void EncryptFromMemory(benchmark::State& state, std::size_t n) {
  CRijndaelCipher cipher;
  cipher.SetKey(kKeyBytes, 16, kChainBlock, 16, 16, MODE_ECB, PAD_ZERO);
  const std::vector<unsigned char> data = PatternBytes(n);
  for (auto _ : state) {
    Reader input(data.data(), data.size());
    DiscardingWriter output;
    EncryptProtected(cipher, input, output);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

}  // namespace

void RegisterCoreBenchmarks() {
  for (std::size_t n : {64 * kMiB, 256 * kMiB}) {
    const std::string size = std::to_string(n / kMiB) + "MiB";
    benchmark::RegisterBenchmark(
        ("Core/" + size + ":MemoryReader").c_str(),
        [n](benchmark::State& s) { EncryptFromMemory<MemoryReader>(s, n); });
    benchmark::RegisterBenchmark(
        ("Core/" + size + ":CMemDoubleBuffering").c_str(),
        [n](benchmark::State& s) { EncryptFromMemory<DoubleBufferedReader>(s, n); });
  }
}

}  // namespace vantry::bench
