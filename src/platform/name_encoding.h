// How the platform layer reads the bytes of a file name.
//
// POSIX hands names to the system as they are. Windows wants UTF-16, and the bytes of a narrow
// name mean different things to different callers: the six entry points have always passed
// their names to the ANSI functions, so their bytes are in the process's ANSI code page, while
// the C interface takes UTF-8 whatever the code page. The interface that receives a name says
// which it is for the length of its call, and the Windows layer converts accordingly; the
// signatures of the file operations in between need not know. The same setting tells the
// Windows layer in which encoding to write system messages into error texts, so that a text
// never mixes two encodings.
#ifndef VANTRY_PLATFORM_NAME_ENCODING_H_
#define VANTRY_PLATFORM_NAME_ENCODING_H_

namespace vantry::platform {

enum class NameEncoding {
  kAnsiCodePage,  // the default: what CreateFileA and friends would make of the bytes
  kUtf8,
};

// The setting of the calling thread.
NameEncoding CurrentNameEncoding() noexcept;

// Sets the calling thread's encoding until destruction, then restores the one before.
class ScopedNameEncoding {
 public:
  explicit ScopedNameEncoding(NameEncoding encoding) noexcept;
  ~ScopedNameEncoding();
  ScopedNameEncoding(const ScopedNameEncoding&) = delete;
  ScopedNameEncoding& operator=(const ScopedNameEncoding&) = delete;

 private:
  NameEncoding m_previous;
};

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_NAME_ENCODING_H_
