// The tool's terminal, signals and unlocked inputs: the platform's console service
// (platform/console.h), with the tool's messages and its byte readers on top.
#ifndef VANTRY_TOOL_CONSOLE_H_
#define VANTRY_TOOL_CONSOLE_H_

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/console.h"
#include "vantry/streams.h"

namespace vantry::tool {

using platform::CatchStopSignals;
using platform::DisableCoreDumps;
using platform::EndByClosedOutput;
using platform::EndByStopSignal;
using platform::FolderTakesNewFiles;
using platform::IsHeldByAnother;
using platform::IsStreamInput;
using platform::IsTerminal;
using platform::SignalName;
using platform::StopIfSignalled;
using platform::StopSignal;
using platform::ThrowInterrupted;

using platform::InputRole;

// Opens name for reading without any lock (platform::UnlockedInput). For key files, which are
// the user's own inputs and not protected files, and for stream inputs. Throws
// FileError(kOpen / kRead) naming name, and for a key platform::UntrustedPathError.
std::unique_ptr<ByteReader> OpenUnlockedInput(const std::string& name, InputRole role);

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

// A stop signal ends the run at the next read: the output is then abandoned, which leaves an
// earlier file as it was.
class StopCheckingReader : public ByteReader {
 public:
  explicit StopCheckingReader(ByteReader& inner) : m_inner(inner) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    StopIfSignalled();
    return m_inner.ReadSome(buffer, n);
  }

 private:
  ByteReader& m_inner;
};

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_CONSOLE_H_
