#include "support/cli_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

#include "support/test_support.h"

extern char** environ;

namespace vantry::test {
namespace {

constexpr int kGuardMilliseconds = 180000;
constexpr rlim_t kMaxFileSize = 256u << 20;

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) {
    return WEXITSTATUS(status);
  }
  return WIFSIGNALED(status) ? -WTERMSIG(status) : -1000;
}

std::string ReadText(const std::string& path) {
  const Bytes bytes = ReadFile(path);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> Environment(const ToolRun& run) {
  std::vector<std::string> env;
  auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string name = nameOf(*entry);
    bool dropped = false;
    for (const std::string& unset : run.unsetEnv) {
      dropped = dropped || unset == name;
    }
    for (const std::string& set : run.setEnv) {
      dropped = dropped || nameOf(set) == name;
    }
    if (!dropped) {
      env.push_back(*entry);
    }
  }
  env.insert(env.end(), run.setEnv.begin(), run.setEnv.end());
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) {
    pointers.push_back(&s[0]);
  }
  pointers.push_back(nullptr);
  return pointers;
}

void Check(int result, const char* what) {
  if (result != 0) {
    throw std::runtime_error(std::string("test runner: ") + what + ": " + std::strerror(result));
  }
}

// Waits for the tool; kills it when it has not ended after a long while, which only a hung
// tool does (a guard, not a measurement).
int WaitGuarded(pid_t pid) {
  int status = 0;
  for (int waited = 0; waited < kGuardMilliseconds; waited += 10) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      return ExitCodeOf(status);
    }
    if (done < 0 && errno != EINTR) {
      return -1000;
    }
    usleep(10000);
  }
  kill(pid, SIGKILL);
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return ExitCodeOf(status);
}

}  // namespace

ToolResult RunTool(const ToolRun& run) {
  TempDir io;
  const std::string in = io.File("stdin");
  const std::string out = io.File("stdout");
  const std::string err = io.File("stderr");
  WriteFile(in, Bytes(run.input.begin(), run.input.end()));

  std::vector<std::string> argStrings = {VANTRY_TOOL_PATH};
  argStrings.insert(argStrings.end(), run.args.begin(), run.args.end());
  std::vector<char*> argv = Pointers(argStrings);
  std::vector<std::string> envStrings = Environment(run);
  std::vector<char*> envp = Pointers(envStrings);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  Check(posix_spawn_file_actions_init(&actions), "file actions");
  Check(posix_spawnattr_init(&attributes), "attributes");
  Check(posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0), "stdin");
  Check(posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600),
        "stdout");
  Check(posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600),
        "stderr");
  if (!run.workingFolder.empty()) {
    Check(posix_spawn_file_actions_addchdir_np(&actions, run.workingFolder.c_str()), "chdir");
  }
  Check(posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID), "setsid");
  // A tool that writes without end gets SIGXFSZ instead of filling the disk.
  rlimit savedLimit{};
  getrlimit(RLIMIT_FSIZE, &savedLimit);
  rlimit fileLimit = savedLimit;
  fileLimit.rlim_cur = std::min<rlim_t>(savedLimit.rlim_max, kMaxFileSize);
  setrlimit(RLIMIT_FSIZE, &fileLimit);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
  setrlimit(RLIMIT_FSIZE, &savedLimit);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  Check(spawned, "spawn");
  ToolResult result;
  result.exitCode = WaitGuarded(pid);
  result.out = ReadText(out);
  result.err = ReadText(err);
  return result;
}

ToolResult RunToolOnTerminal(const std::vector<std::string>& args,
                             const std::vector<std::string>& prompts,
                             const std::vector<std::string>& typed) {
  std::vector<std::string> argStrings = {VANTRY_TOOL_PATH};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv = Pointers(argStrings);

  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) {
    throw std::runtime_error("test runner: forkpty failed");
  }
  if (pid == 0) {
    rlimit fileLimit{};
    getrlimit(RLIMIT_FSIZE, &fileLimit);
    fileLimit.rlim_cur = std::min<rlim_t>(fileLimit.rlim_max, kMaxFileSize);
    setrlimit(RLIMIT_FSIZE, &fileLimit);
    execv(argv[0], argv.data());
    _exit(127);
  }
  ToolResult result;
  bool hung = false;
  std::size_t next = 0;
  std::size_t searchFrom = 0;
  for (;;) {
    pollfd ready = {master, POLLIN, 0};
    // Only a guard against a tool that hangs waiting for input it will never get.
    if (poll(&ready, 1, 60000) <= 0) {
      hung = true;
      break;
    }
    char chunk[512];
    const ssize_t n = read(master, chunk, sizeof chunk);
    if (n <= 0) {
      break;  // EIO: the tool closed the terminal
    }
    result.out.append(chunk, static_cast<std::size_t>(n));
    if (next < prompts.size() && next < typed.size()) {
      const std::size_t at = result.out.find(prompts[next], searchFrom);
      if (at != std::string::npos) {
        searchFrom = at + prompts[next].size();
        const std::string line = typed[next] + "\n";
        if (write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
          break;
        }
        ++next;
      }
    }
  }
  termios after{};
  if (tcgetattr(master, &after) == 0) {
    result.terminalEchoAtEnd = (after.c_lflag & ECHO) != 0 ? 1 : 0;
  }
  close(master);
  if (hung) {
    kill(pid, SIGKILL);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = ExitCodeOf(status);
  return result;
}

}  // namespace vantry::test
