// BufferedFileOutput: an output file of the protected-file operations, written through the
// library's one buffered file writer (CreateFileWriter in vantry/streams.h: the atomic writer
// behind a wiped 64 KiB buffer).
//
// The operations produce 384 bytes at a time; handing each chunk to the system would cost one
// call per chunk, so chunks collect in the writer's fixed buffer and go out when it is full.
// Memory stays fixed whatever the file size. Nothing reaches the target name before Commit: a
// failure anywhere leaves an existing target as it was (see AtomicWriter).
#ifndef VANTRY_FILES_BUFFERED_FILE_OUTPUT_H_
#define VANTRY_FILES_BUFFERED_FILE_OUTPUT_H_

#include <cstddef>
#include <memory>
#include <string>

#include "platform/file.h"
#include "vantry/streams.h"

namespace vantry {

class BufferedFileOutput {
 public:
  static constexpr std::size_t kCapacity = std::size_t{64} * 1024;

  // Throws FileError(kCreate) naming the target, as AtomicWriter does, before any allocation.
  // contents says whether the output is plain text (a new file is then its owner's alone).
  explicit BufferedFileOutput(
      const std::string& targetName,
      platform::OutputContents contents = platform::OutputContents::kProtected);
  // Without Commit the temporary file is removed and the target left alone.
  ~BufferedFileOutput();
  BufferedFileOutput(const BufferedFileOutput&) = delete;
  BufferedFileOutput& operator=(const BufferedFileOutput&) = delete;

  // Appends n bytes. Throws FileError(kWrite) naming the target when a flush fails.
  void Append(const void* data, std::size_t n);
  // Writes what is buffered and puts the file in place of the target. Throws FileError.
  void Commit();

 private:
  std::unique_ptr<ByteWriter> m_writer;
};

}  // namespace vantry

#endif  // VANTRY_FILES_BUFFERED_FILE_OUTPUT_H_
