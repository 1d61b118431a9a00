// The process's standard input and output as byte streams, for the library's stream readers
// and writers. No text translation on any system.
#ifndef VANTRY_PLATFORM_STANDARD_STREAMS_H_
#define VANTRY_PLATFORM_STANDARD_STREAMS_H_

#include <cstddef>

namespace vantry::platform {

inline constexpr const char kStandardInputName[] = "standard input";
inline constexpr const char kStandardOutputName[] = "standard output";

// Reads up to n bytes of standard input; 0 at its end. Throws FileError(kRead) naming
// kStandardInputName. Unlike the file reads, an interruption by a signal is not retried: it
// throws with EINTR (POSIX), so a program whose handler asks to stop is not kept waiting on a
// pipe that stays silent.
std::size_t ReadStandardInput(void* buffer, std::size_t n);

// Writes all n bytes to standard output. Throws FileError(kWrite) naming kStandardOutputName,
// EPIPE when the reader has gone (with SIGPIPE ignored), EINTR as above.
void WriteStandardOutput(const void* data, std::size_t n);

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_STANDARD_STREAMS_H_
