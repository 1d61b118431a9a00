// Sealing and unsealing as three stages over runs of segments: read, cipher, write. The cipher
// of one run goes to a second thread while the calling thread writes the run before it and
// reads the run after it; on two cores the cipher's time hides behind the kernel's copies, which
// on a memory file system take longer than AES-GCM. The caller's reader and writer are called on
// the calling thread alone, in order, as a plain loop would call them, and a run's output is
// written only after its cipher returned. Input of a single run, or a system that gives no
// thread, runs the same stages in turn on the calling thread.
#ifndef VANTRY_SEALED_SEGMENT_PIPELINE_H_
#define VANTRY_SEALED_SEGMENT_PIPELINE_H_

#include <cstddef>
#include <cstdint>
#include <functional>

#include "vantry/byte_io.h"

namespace vantry::sealed {

// Segments per run: a handoff between the threads, and a read and a write call, per 512 KiB.
inline constexpr std::size_t kSegmentsPerRun = 8;

// One run of input, read in one piece, and room for what the cipher makes of it.
struct Run {
  const unsigned char* in = nullptr;
  std::size_t inSize = 0;        // the run's bytes: runSize, or fewer in the last run
  std::uint64_t at = 0;          // where in the input they start
  bool last = false;             // nothing follows them
  unsigned char* out = nullptr;  // room for the outCapacity given to PipeRuns
  std::size_t outSize = 0;       // what the cipher made: the bytes to write
};

// Turns run.in into run.out and sets run.outSize. A cipher that throws may first set outSize
// to output it vouches for (the verified segments before a damaged one): that is written before
// the exception goes on. Whether it returns or throws, out holds nothing secret past outSize
// (what failed to authenticate is wiped), so only that much is wiped afterwards.
using RunCipher = std::function<void(Run&)>;

// Reads input to its end in runs of runSize bytes (one byte of look-ahead tells the last run:
// it is shorter, or nothing follows it; empty input is one empty last run), and writes to output
// what cipher makes of each. Throws what cipher, input and output throw. Buffers are wiped
// before they are freed. Does not commit output.
void PipeRuns(ByteReader& input, std::size_t runSize, std::size_t outCapacity, ByteWriter& output,
              const RunCipher& cipher);

}  // namespace vantry::sealed

#endif  // VANTRY_SEALED_SEGMENT_PIPELINE_H_
