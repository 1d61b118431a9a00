// Runs the built vantry tool as a separate process for the command-line tests, with chosen
// standard input, environment and working folder, or on a pseudo-terminal.
#ifndef VANTRY_TESTS_SUPPORT_CLI_RUNNER_H_
#define VANTRY_TESTS_SUPPORT_CLI_RUNNER_H_

#include <string>
#include <vector>

namespace vantry::test {

struct ToolResult {
  int exitCode = -1;  // the exit status, or -signal when a signal ended the tool
  std::string out;
  std::string err;
  // RunToolOnTerminal: 1 when the terminal echoes typed keys after the tool ended, 0 when not.
  int terminalEchoAtEnd = -1;
};

struct ToolRun {
  std::vector<std::string> args;
  std::string input;                  // standard input
  std::vector<std::string> setEnv;    // "NAME=value" added to (or replacing in) the environment
  std::vector<std::string> unsetEnv;  // names removed from the environment
  std::string workingFolder;          // empty: the test's own
};

// Runs the tool in a session of its own, so it has no controlling terminal.
ToolResult RunTool(const ToolRun& run);

// Runs the tool on a new pseudo-terminal that serves as its controlling terminal and its
// standard input, output and error. Each time the terminal shows the next prompt of
// prompts, the matching line of typed is typed. Returns everything the terminal showed in out.
ToolResult RunToolOnTerminal(const std::vector<std::string>& args,
                             const std::vector<std::string>& prompts,
                             const std::vector<std::string>& typed);

}  // namespace vantry::test

#endif  // VANTRY_TESTS_SUPPORT_CLI_RUNNER_H_
