// The tool's only operating-system specific part: terminals, signals and process hardening.
#ifndef VANTRY_TOOL_CONSOLE_H_
#define VANTRY_TOOL_CONSOLE_H_

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "vantry/streams.h"

namespace vantry::tool {

bool IsTerminal(std::FILE* stream);

// Switches core dumps off (RLIMIT_CORE 0 and, on Linux, not dumpable): a core of this process
// would hold key texts and plain text. Returns false when a step failed.
bool DisableCoreDumps();

// From here on SIGINT, SIGTERM, SIGHUP and SIGQUIT only record that they came, and interrupt a
// blocking read or write (no SA_RESTART) so that the command can stop, clean up and fail;
// SIGPIPE is ignored, so a closed pipe is a write error (EPIPE) like any other. SIGQUIT is one
// more way to ask a program to stop, not a request for a core file of keys and plain text.
// A stop signal that was ignored when the tool started (nohup) stays ignored.
void CatchStopSignals();
// The first stop signal that came, 0 when none did.
int StopSignal();
// "SIGTERM", or "signal N".
std::string SignalName(int signal);
// Ends the process, once its command has cleaned up, as the stop signal would have ended it:
// shells see 128 + the signal, and a shell loop that was waiting for the tool stops at Ctrl-C
// (POSIX shells stop only when the command itself died of SIGINT). SIGQUIT ends with the
// status 128 + SIGQUIT instead, so that it cannot leave a core file.
[[noreturn]] void EndByStopSignal(int signal);

// Ends the process as a program that writes to a pipe whose reader went away ends (as cat
// does, killed by SIGPIPE where there is one): quietly, once its command has cleaned up.
[[noreturn]] void EndByClosedOutput();

// True when name is a FIFO or a character device (after links): input that is read as standard
// input is, as it comes, never as a file of known size. Windows has none by name.
bool IsStreamInput(const std::string& name);
// Opens name for reading without any lock, waiting on a FIFO for its writer. The wait and
// every read end when a stop signal comes. For key files, which are the user's own inputs and
// not protected files, and for stream inputs. Throws FileError(kOpen / kRead) naming name.
std::unique_ptr<ByteReader> OpenUnlockedInput(const std::string& name);
// True when a new file could be created in the folder of the file name (write and search
// access for this process): else the library rewrites an existing output in place.
bool FolderTakesNewFiles(const std::string& name);

// What ReadHiddenLine throws when there is no terminal to ask.
class NoTerminal : public std::runtime_error {
 public:
  NoTerminal() : std::runtime_error("cannot ask for the key: there is no terminal") {}
};

// Shows prompt on the terminal and reads one line from it with echo off; the line end is not
// part of the result. Reads the terminal itself, not standard input, so input data can still
// come through a pipe. The terminal is restored also when a stop signal ends the wait, which
// then throws. At most maxLength characters are taken; a longer line is refused. Throws
// NoTerminal when there is no terminal to ask.
std::string ReadHiddenLine(const std::string& prompt, std::size_t maxLength);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_CONSOLE_H_
