// Byte I/O: the library's readers and writers, for named files, the standard streams and memory.
//
// A program that moves data through pipes (the vantry tool is one) uses these instead of files
// of its own: nothing is staged in scratch files, every named output goes through the same
// atomic writer as the library's own outputs, and memory stays fixed whatever the size of the
// data. They know nothing of any file format: protected files stream through them with
// streams.h, sealed files with sealed.h.
#ifndef VANTRY_BYTE_IO_H_
#define VANTRY_BYTE_IO_H_

#include <cstddef>
#include <memory>
#include <string>

#include "vantry/export.h"

namespace vantry {

// A source of bytes that is read to its end: its size is never taken from the file system,
// which says 0 for pipes and for files such as those under /proc.
class VANTRY_API ByteReader {
 public:
  ByteReader() = default;
  virtual ~ByteReader();
  ByteReader(const ByteReader&) = delete;
  ByteReader& operator=(const ByteReader&) = delete;

  // Reads up to n bytes; returns how many, 0 only at the end (or when n is 0). Throws
  // FileError(kRead) naming the source.
  virtual std::size_t ReadSome(void* buffer, std::size_t n) = 0;

  // Reads until n bytes have come or the source ends; returns how many came.
  std::size_t ReadFull(void* buffer, std::size_t n);
};

// A destination of bytes. Nothing written counts until Commit: a writer destroyed without a
// successful Commit abandons its output (see the factories for what that leaves).
class VANTRY_API ByteWriter {
 public:
  ByteWriter() = default;
  virtual ~ByteWriter();
  ByteWriter(const ByteWriter&) = delete;
  ByteWriter& operator=(const ByteWriter&) = delete;

  // Takes all n bytes. Throws FileError(kWrite) naming the destination.
  virtual void Write(const void* data, std::size_t n) = 0;
  // Delivers everything written. Throws FileError (kWrite, kClose, kReplace).
  virtual void Commit() = 0;
};

// Who may read a new named output: kOwnerOnly creates it readable by its owner alone (plain
// text, and files under a key every user of the machine has); kShared follows the process's
// umask like any other new file (cipher text under a key of the user's own). The type keeps
// its first name, OutputKind, and its first enumerators, kProtected and kPlainText, as
// aliases: callers written against them build unchanged, and the library's symbols stay.
enum class OutputKind {
  kShared,
  kOwnerOnly,
  kProtected = kShared,
  kPlainText = kOwnerOnly,
};
using FileMode = OutputKind;

// The named file, opened for reading with no sharing (an exclusive lock on POSIX, share mode 0
// on Windows). Throws FileError(kOpen) naming it.
VANTRY_API std::unique_ptr<ByteReader> OpenFileReader(const std::string& fileName);

// Standard input, as bytes. Errors name it "standard input". A read interrupted by a signal
// whose handler was installed without SA_RESTART throws FileError(kRead) with EINTR instead of
// waiting on, so that a program can stop on a signal while its input stalls.
VANTRY_API std::unique_ptr<ByteReader> OpenStandardInputReader();

// The size bytes at data, read as a file is; the caller keeps them alive while the reader is
// used.
VANTRY_API std::unique_ptr<ByteReader> OpenMemoryReader(const void* data, std::size_t size);

// The library's atomic writer: the target is opened exclusively and written through a
// temporary file beside it, which replaces the target only on Commit, after the data is on
// disk. Abandoned, it removes its temporary file and leaves an existing target exactly as it
// was. Throws FileError(kCreate) naming the target.
VANTRY_API std::unique_ptr<ByteWriter> CreateFileWriter(const std::string& targetName,
                                                        FileMode mode);

// Whether a writer may fall back to rewriting an existing target in place when the target's
// folder refuses a temporary file (POSIX; see README, "Failures and what stays on disk"):
// a failure part way then leaves the target cut, so a program that asks its user first passes
// kRefused, and the writer fails with FileError(kCreate) and the system's code instead.
enum class InPlaceRewrite { kAllowed, kRefused };

// CreateFileWriter with the choice above (the two-argument form allows it).
VANTRY_API std::unique_ptr<ByteWriter> CreateFileWriter(const std::string& targetName,
                                                        FileMode mode, InPlaceRewrite inPlace);

// A writer for a new file only, for keys and identities: a target that exists when the writer
// is created is refused (FileError(kCreate) with the system's "file exists" code), and one that
// appears before Commit is kept, Commit failing (FileError(kReplace), the same code) rather than
// replacing it. Never rewrites in place.
VANTRY_API std::unique_ptr<ByteWriter> CreateNewFileWriter(const std::string& targetName,
                                                           FileMode mode);

// Standard output, as bytes. A stream cannot be taken back: what was passed on before a
// failure stays passed on; abandoned, the writer drops (and wipes) only what it still buffers.
// Errors name it "standard output"; a closed pipe is FileError(kWrite) with EPIPE (the caller
// should ignore SIGPIPE) and an interrupted write behaves as an interrupted read above.
VANTRY_API std::unique_ptr<ByteWriter> OpenStandardOutputWriter();

}  // namespace vantry

#endif  // VANTRY_BYTE_IO_H_
