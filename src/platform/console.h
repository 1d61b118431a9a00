// What a command-line program needs from the system beyond files: terminals, stop signals,
// process hardening and inputs read as they come (FIFOs, devices, key files), without a lock.
// The tool compiles this unit in (the library exports none of it), so that it holds no system
// code of its own.
#ifndef VANTRY_PLATFORM_CONSOLE_H_
#define VANTRY_PLATFORM_CONSOLE_H_

#include <cstddef>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "platform/file_system.h"

namespace vantry::platform {

// The program's arguments after its name, in UTF-8, and from then on every file name the
// program's thread hands the platform is read as UTF-8: on Windows the arguments come from the
// wide command line, so that a name or a key file of any script works whatever the ANSI code
// page (argv would hold "?" for what the code page lacks); elsewhere they are argv as it is.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

bool IsTerminal(std::FILE* stream);

// Switches core dumps off (RLIMIT_CORE 0 and, on Linux, not dumpable): a core of this process
// would hold key texts and plain text. Returns false when a step failed.
bool DisableCoreDumps();

// From here on SIGINT, SIGTERM, SIGHUP and SIGQUIT only record that they came, and interrupt a
// blocking read or write (no SA_RESTART) so that the command can stop, clean up and fail;
// SIGPIPE is ignored, so a closed pipe is a write error (EPIPE) like any other. SIGQUIT is one
// more way to ask a program to stop, not a request for a core file of keys and plain text.
// A stop signal that was ignored when the program started (nohup) stays ignored.
void CatchStopSignals();
// The first stop signal that came, 0 when none did.
int StopSignal();
// "SIGTERM", or "signal N".
std::string SignalName(int signal);
// Throws std::runtime_error "interrupted by <signal>": how every stopped step ends.
[[noreturn]] void ThrowInterrupted();
// ThrowInterrupted when a stop signal came.
void StopIfSignalled();
// Ends the process, once its command has cleaned up, as the stop signal would have ended it:
// shells see 128 + the signal, and a shell loop that was waiting for the program stops at
// Ctrl-C (POSIX shells stop only when the command itself died of SIGINT). SIGQUIT ends with the
// status 128 + SIGQUIT instead, so that it cannot leave a core file.
[[noreturn]] void EndByStopSignal(int signal);
// Ends the process as a program that writes to a pipe whose reader went away ends (as cat
// does, killed by SIGPIPE where there is one): quietly, once its command has cleaned up.
[[noreturn]] void EndByClosedOutput();

// True when name is a FIFO or a character device (after links): input that is read as standard
// input is, as it comes, never as a file of known size. Windows has none by name.
bool IsStreamInput(const std::string& name);
// True when a new file could be created in the folder of the file name (write and search
// access for this process): else the atomic writer rewrites an existing output in place.
bool FolderTakesNewFiles(const std::string& name);
// True when the error says another program holds the file (a lock or a sharing violation).
bool IsHeldByAnother(const std::error_code& error);

// What an unlocked input is to the program, which decides how far its name is trusted.
enum class InputRole {
  // Data to process: a link in a shared sticky folder is followed only when its owner is the
  // user or the folder's (posix::OpenWithoutForeignLink), as for every file the library reads.
  kData,
  // A key: the whole way to it must be the user's or root's (trusted_path.h), as ssh asks of
  // its keys, since whoever can change it chooses the key.
  kKey,
};

// A file opened for reading without any lock, waiting on a FIFO for its writer. The wait and
// every read end with ThrowInterrupted when a stop signal comes.
class UnlockedInput {
 public:
  // Throws FileError(kOpen) naming name, and for a key UntrustedPathError (trusted_path.h).
  UnlockedInput(const std::string& name, InputRole role);
  ~UnlockedInput();
  UnlockedInput(const UnlockedInput&) = delete;
  UnlockedInput& operator=(const UnlockedInput&) = delete;
  // Reads up to n bytes; 0 at the end. Throws FileError(kRead) naming the file.
  std::size_t ReadSome(void* buffer, std::size_t n);

 private:
  std::string m_name;
  NativeHandle m_handle;
};

enum class HiddenLineResult { kRead, kTooLong, kStopped, kNoTerminal };
// Shows prompt on the terminal and reads one line from it with echo off into *line (reserved
// beforehand, never reallocated), without the line end. Reads the terminal itself, not
// standard input. The terminal is restored also when a stop signal ends the wait. A line
// longer than maxLength is kTooLong, and *line is then partial: the caller wipes it.
HiddenLineResult ReadHiddenLine(const std::string& prompt, std::size_t maxLength,
                                std::string* line);

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_CONSOLE_H_
