// Operands of the commands: files named on the command line, or "-" for standard input and
// output, opened through the library's readers and writers (never through scratch files), and
// the words messages use for them.
#ifndef VANTRY_TOOL_OPERANDS_H_
#define VANTRY_TOOL_OPERANDS_H_

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "vantry/streams.h"

namespace vantry::tool {

// A name as it can be printed: control characters and backslashes escaped (\n, \t, \xNN), so a
// file name cannot move the cursor, clear the screen or fake a second message line.
std::string PrintableName(const std::string& name);

// "standard input" for "-", the printable name in quotes otherwise: how messages name INPUT.
std::string OperandName(const std::string& operand);

// Refuses an OUTPUT that exists (unless force) and standard output on a terminal. Made before
// any work, so a refused command reads no key and writes nothing.
void CheckOutput(const std::string& operand, bool force);

// Refuses an existing OUTPUT that could only be rewritten in place, its folder taking no new
// file, unless inPlace: a failure part way would then lose its earlier content.
void CheckReplaceable(const std::string& operand, bool inPlace);

// A FIFO or character device is read as standard input is, as it comes and without a lock;
// anything else through the library's file reader.
std::unique_ptr<ByteReader> OpenInput(const std::string& operand);

// The size of a named regular file, 0 when not known: for the progress line, and for the
// library's decryption, which refuses a file whose size shows it cut before it writes a byte.
std::uint64_t KnownSize(const std::string& operand);
std::unique_ptr<ByteWriter> OpenOutput(const std::string& operand, OutputKind kind, bool inPlace);

// True once a write to OUTPUT '-' failed because the reader of standard output went away (a
// pipe into head): the tool then ends quietly rather than report it.
bool StandardOutputClosed();

// Flushes what a command printed on standard output (a listing, a recipient, a verdict):
// status when all of it went out; a reader that went away ends the tool quietly, as it ends a
// pipe's writer; any other failure (a full disk) is said on standard error, and gives
// failureStatus, so that no failure passes silently.
int FlushStandardOutput(int status, int failureStatus = 1);

// The user's message for a failure: a FileError as "cannot read 'name': <the system's text>"
// (a file held by another program said to be in use), anything else as its text.
std::string DescribeFailure(const std::exception& failure);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_OPERANDS_H_
