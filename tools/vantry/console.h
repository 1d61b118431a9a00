// The tool's only operating-system specific part: terminals and binary standard streams.
#ifndef VANTRY_TOOL_CONSOLE_H_
#define VANTRY_TOOL_CONSOLE_H_

#include <cstdio>
#include <string>

namespace vantry::tool {

bool IsTerminal(std::FILE* stream);

// Standard streams carry bytes unchanged (Windows would otherwise translate line ends and stop
// reading at a Ctrl-Z byte).
void SetBinaryMode(std::FILE* stream);

// Shows prompt on the terminal and reads one line from it with echo off; the line end is not
// part of the result. Reads the terminal itself, not standard input, so input data can still
// come through a pipe. Throws std::runtime_error when there is no terminal to ask.
std::string ReadHiddenLine(const std::string& prompt);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_CONSOLE_H_
