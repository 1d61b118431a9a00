// The tool's only operating-system specific part: terminals, signals and process hardening.
#ifndef VANTRY_TOOL_CONSOLE_H_
#define VANTRY_TOOL_CONSOLE_H_

#include <cstdio>
#include <string>

namespace vantry::tool {

bool IsTerminal(std::FILE* stream);

// Switches core dumps off (RLIMIT_CORE 0 and, on Linux, not dumpable): a core of this process
// would hold key texts and plain text. Returns false when a step failed.
bool DisableCoreDumps();

// From here on SIGINT, SIGTERM and SIGHUP only record that they came, and interrupt a blocking
// read or write (no SA_RESTART) so that the command can stop, clean up and fail; SIGPIPE is
// ignored, so a closed pipe is a write error (EPIPE) like any other.
void CatchStopSignals();
// The first stop signal that came, 0 when none did.
int StopSignal();
// "SIGTERM", or "signal N".
std::string SignalName(int signal);

// Shows prompt on the terminal and reads one line from it with echo off; the line end is not
// part of the result. Reads the terminal itself, not standard input, so input data can still
// come through a pipe. The terminal is restored also when a stop signal ends the wait, which
// then throws. At most maxLength characters are taken; a longer line is refused. Throws
// std::runtime_error when there is no terminal to ask.
std::string ReadHiddenLine(const std::string& prompt, std::size_t maxLength);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_CONSOLE_H_
