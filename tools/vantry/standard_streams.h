// Operands of the commands: files named on the command line, or "-" for standard input and
// output. The library reads and writes files by name, so standard input is first copied to a
// private scratch file and standard output is written from one; messages name such a file "-",
// as the user did.
#ifndef VANTRY_TOOL_STANDARD_STREAMS_H_
#define VANTRY_TOOL_STANDARD_STREAMS_H_

#include <cstddef>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace vantry::tool {

// "standard input" for "-", the quoted name otherwise: how messages name an INPUT.
std::string OperandName(const std::string& operand);

// The bytes of a file, or of standard input for "-", up to limit bytes. Throws
// std::runtime_error naming it when it cannot be opened or read.
std::vector<unsigned char> ReadBytes(const std::string& operand,
                                     std::size_t limit = std::numeric_limits<std::size_t>::max());

class Operands {
 public:
  Operands() = default;
  ~Operands();  // removes the scratch files
  Operands(const Operands&) = delete;
  Operands& operator=(const Operands&) = delete;

  // Refuses an OUTPUT that exists (unless force) and standard output on a terminal. Made before
  // any work, so a refused command reads no key and writes nothing.
  static void CheckOutput(const std::string& operand, bool force);

  // A name the library can open for INPUT: the operand, or a scratch copy of standard input.
  std::string InputPath(const std::string& operand);
  // A name the library can write OUTPUT to: the operand, or a scratch file that
  // FinishOutput copies to standard output.
  std::string OutputPath(const std::string& operand);
  void FinishOutput();

  // Writes bytes as OUTPUT: to standard output, or to a file that only appears (or replaces
  // an earlier one) once all of it is written.
  static void WriteOutput(const std::string& operand, const unsigned char* data, std::size_t n);

  // A message of the library with scratch file names replaced by "-".
  std::string Explain(std::string message) const;

 private:
  std::string ScratchFile(const std::string& name);

  std::string m_scratchFolder;
  std::string m_stdoutScratch;
  std::vector<std::pair<std::string, std::string>> m_aliases;  // scratch name, operand
};

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_STANDARD_STREAMS_H_
