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

// Turns one piece of input (a segment to seal, or a sealed chunk to open) into out and returns
// how many bytes it made there. index counts pieces from 0; last says nothing follows the piece
// (empty input is one empty last piece). A cipher that throws leaves nothing secret in out
// (what failed to authenticate is wiped); the pieces before it are written before the exception
// goes on, so an unseal releases exactly the segments that verified.
using PieceCipher = std::function<std::size_t(const unsigned char* in, std::size_t size,
                                              std::uint64_t index, bool last, unsigned char* out)>;

// Reads input to its end in pieces of pieceSize bytes (the last may be shorter; one byte of
// look-ahead tells it), kSegmentsPerRun to a run, and writes to output what cipher makes of each
// in at most outPieceSize bytes. Throws what cipher, input and output throw. Buffers are wiped
// before they are freed. Does not commit output.
void PipePieces(ByteReader& input, std::size_t pieceSize, std::size_t outPieceSize,
                ByteWriter& output, const PieceCipher& cipher);

}  // namespace vantry::sealed

#endif  // VANTRY_SEALED_SEGMENT_PIPELINE_H_
