// The tool stopped part way, as users and systems stop it: by SIGTERM and SIGINT, by SIGKILL,
// and by a reader that goes away (SIGPIPE, which ends it quietly). With TMPDIR set to an empty
// folder, nothing ever appears there, and a named OUTPUT is either the earlier file, intact, or
// absent. The tool runs on pipes that the test feeds itself, so the point where the signal comes is
// set by how much the test has written, never by waiting.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "console.h"
#include "support/test_support.h"
#include "vantry/machine_key.h"
#include "vantry/rijndael_cipher.h"
#include "vantry/streams.h"
#include "vantry/vantry.h"

extern char** environ;

namespace vantry::test {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
// More than a pipe holds: once the test has written this much, the tool is surely reading.
constexpr std::size_t kSurelyReading = 256 * 1024;
const std::string kKeyText = "signal test key text, 16+ chars";

// The tool on pipes: the test writes its standard input and reads its standard output and
// standard error (the latter two only at the end, from files, except when stdoutPipe).
class RunningTool {
 public:
  RunningTool(const std::vector<std::string>& args, const std::string& workingFolder,
              const std::string& tmpdir, bool stdoutPipe)
      : m_errPath(workingFolder + "/.stderr") {
    int in[2];
    int out[2] = {-1, -1};
    EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
    if (stdoutPipe) {
      EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    if (stdoutPipe) {
      posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    } else {
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 2, m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    std::vector<std::string> argStrings = {VANTRY_TOOL_PATH};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::strncmp(*e, "TMPDIR=", 7) != 0) envStrings.push_back(*e);
    }
    envStrings.push_back("TMPDIR=" + tmpdir);
    std::vector<char*> envp;
    for (std::string& e : envStrings) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    m_in = in[1];
    if (stdoutPipe) {
      ::close(out[1]);
      m_out = out[0];
    }
  }
  ~RunningTool() {
    CloseInput();
    CloseOutput();
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      Wait();
    }
  }

  // Writes n bytes of the endless input; false once the tool no longer reads.
  bool Feed(const std::vector<unsigned char>& block, std::size_t n) {
    while (n > 0) {
      const std::size_t part = std::min(n, block.size() - m_blockAt);
      const ssize_t written = ::write(m_in, block.data() + m_blockAt, part);
      if (written <= 0) return false;
      m_blockAt = (m_blockAt + static_cast<std::size_t>(written)) % block.size();
      n -= static_cast<std::size_t>(written);
    }
    return true;
  }
  bool FeedBytes(const std::vector<unsigned char>& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
      const ssize_t written = ::write(m_in, bytes.data() + at, bytes.size() - at);
      if (written <= 0) return false;
      at += static_cast<std::size_t>(written);
    }
    return true;
  }
  void CloseInput() {
    if (m_in >= 0) ::close(m_in);
    m_in = -1;
  }
  void CloseOutput() {
    if (m_out >= 0) ::close(m_out);
    m_out = -1;
  }
  std::string ReadOutput(std::size_t n) {
    std::string got(n, '\0');
    std::size_t at = 0;
    while (at < n) {
      const ssize_t r = ::read(m_out, &got[at], n - at);
      if (r <= 0) break;
      at += static_cast<std::size_t>(r);
    }
    got.resize(at);
    return got;
  }
  void Signal(int signal) { ::kill(m_pid, signal); }
  // The exit status, or -signal.
  int Wait() {
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }
  std::string Err() const {
    const Bytes bytes = ReadFile(m_errPath);
    return std::string(bytes.begin(), bytes.end());
  }

 private:
  pid_t m_pid = -1;
  int m_in = -1;
  int m_out = -1;
  std::size_t m_blockAt = 0;
  std::string m_errPath;
};

class CliSignals : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937_64 rng(11);
    m_plainBlock = RandomBytes(rng, kMiB);
    // ECB encrypts every block on its own: the cipher text of the repeated block is the
    // repeated cipher text of the block, so protected input of any size can be fed.
    const std::string plain = m_dir.File(".plain");
    const std::string protectedFile = m_dir.File(".protected");
    WriteFile(plain, m_plainBlock);
    WriteFile(m_dir.File(".key"), Bytes(kKeyText.begin(), kKeyText.end()));
    SaveVantryWithKey2(m_plainBlock.data(), static_cast<std::int32_t>(m_plainBlock.size()),
                       protectedFile.c_str(), kKeyText.c_str());
    const Bytes saved = ReadFile(protectedFile);
    m_header.assign(saved.begin(), saved.begin() + 32);
    m_cipherBlock.assign(saved.begin() + 32, saved.end());
    std::remove(plain.c_str());
    std::remove(protectedFile.c_str());
  }

  std::vector<std::string> Entries() const { return m_dir.Entries(); }

  TempDir m_dir;
  TempDir m_tmpdir;
  Bytes m_plainBlock;
  Bytes m_header;
  Bytes m_cipherBlock;
};

struct StopCase {
  std::size_t size;   // of the whole run
  std::size_t point;  // bytes fed before the signal
};

std::vector<StopCase> StopPoints() {
  std::vector<StopCase> cases;
  for (std::size_t size : {1 * kMiB, 100 * kMiB, 300 * kMiB}) {
    for (std::size_t point : {kSurelyReading, size / 2, size - 64 * 1024}) {
      cases.push_back({size, point});
    }
  }
  return cases;
}

// How a stop signal ends the tool, as its parent sees it: killed by the same signal, which a
// shell reports as 128 + the signal; SIGQUIT as exit status 131, without a core.
int EndingOf(int signal) { return signal == SIGQUIT ? 128 + SIGQUIT : -signal; }

TEST_F(CliSignals, StopSignalsEndAsTheSignalAndLeaveTheEarlierOutput) {
  const Bytes earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  for (const StopCase& c : StopPoints()) {
    for (const bool decrypt : {false, true}) {
      for (const int signal : {SIGTERM, SIGINT}) {
        if (signal == SIGINT && c.size != 100 * kMiB) {
          continue;  // SIGINT takes the same path; one size shows it
        }
        SCOPED_TRACE(std::string(decrypt ? "load" : "save") + " of " + std::to_string(c.size) +
                     " bytes, signal " + std::to_string(signal) + " after " +
                     std::to_string(c.point));
        WriteFile(m_dir.File("out"), earlier);
        RunningTool tool({decrypt ? "load" : "save", "--force", "--key-file", ".key", "-", "out"},
                         m_dir.path(), m_tmpdir.path(), false);
        if (decrypt) {
          ASSERT_TRUE(tool.FeedBytes(m_header));
        }
        ASSERT_TRUE(tool.Feed(decrypt ? m_cipherBlock : m_plainBlock, c.point));
        tool.Signal(signal);
        EXPECT_EQ(tool.Wait(), EndingOf(signal));
        EXPECT_EQ(tool.Err(), "vantry: error: interrupted by " +
                                  std::string(signal == SIGTERM ? "SIGTERM" : "SIGINT") + "\n");
        EXPECT_TRUE(ReadFile(m_dir.File("out")) == earlier);
        EXPECT_EQ(Entries(), (std::vector<std::string>{".key", ".stderr", "out"}));
        EXPECT_EQ(m_tmpdir.Entries(), std::vector<std::string>{});
      }
    }
  }
}

// A named FIFO as INPUT is read as standard input is: the tool waits for its writer and reads
// what comes to the end, and every stop signal ends the wait, SIGQUIT included, leaving the
// earlier OUTPUT and no temporary.
TEST_F(CliSignals, AFifoInputIsReadAsItComesAndStopSignalsEndTheWait) {
  const Bytes earlier = {'o', 'l', 'd'};
  const Bytes data(200 * 1024, 'f');
  for (const int signal : {0, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE("signal " + std::to_string(signal));
    WriteFile(m_dir.File("out"), earlier);
    ASSERT_EQ(::mkfifo(m_dir.File("fifo").c_str(), 0600), 0);
    RunningTool tool({"save", "--force", "--key-file", ".key", "fifo", "out"}, m_dir.path(),
                     m_tmpdir.path(), false);
    // Opens once the tool has opened its end: the tool is then reading, its handlers set.
    const int fifo = ::open(m_dir.File("fifo").c_str(), O_WRONLY | O_CLOEXEC);
    const std::size_t fed = signal == 0 ? data.size() : 1000;
    ASSERT_EQ(::write(fifo, data.data(), fed), static_cast<ssize_t>(fed));
    if (signal != 0) tool.Signal(signal);
    ::close(fifo);
    EXPECT_EQ(tool.Wait(), signal == 0 ? 0 : EndingOf(signal)) << tool.Err();
    // All of the data, not an empty file; or the earlier file, untouched.
    EXPECT_EQ(ReadFile(m_dir.File("out")).size(), signal == 0 ? 32 + data.size() : 3);
    EXPECT_EQ(tool.Err(), signal == 0
                              ? ""
                              : "vantry: error: interrupted by " + tool::SignalName(signal) + "\n");
    std::remove(m_dir.File("fifo").c_str());
    EXPECT_EQ(Entries(), (std::vector<std::string>{".key", ".stderr", "out"}));
    EXPECT_EQ(m_tmpdir.Entries(), std::vector<std::string>{});
  }
}

TEST_F(CliSignals, KillLeavesTheEarlierOutputAndNothingInTheTemporaryFolder) {
  const Bytes earlier = {'k', 'e', 'e', 'p'};
  for (std::size_t size : {1 * kMiB, 100 * kMiB, 300 * kMiB}) {
    for (const bool decrypt : {false, true}) {
      SCOPED_TRACE(std::string(decrypt ? "load" : "save") + " of " + std::to_string(size));
      WriteFile(m_dir.File("out"), earlier);
      {
        RunningTool tool({decrypt ? "load" : "save", "--force", "--key-file", ".key", "-", "out"},
                         m_dir.path(), m_tmpdir.path(), false);
        if (decrypt) {
          ASSERT_TRUE(tool.FeedBytes(m_header));
        }
        ASSERT_TRUE(tool.Feed(decrypt ? m_cipherBlock : m_plainBlock, size / 2));
        tool.Signal(SIGKILL);
        EXPECT_EQ(tool.Wait(), -SIGKILL);
      }
      EXPECT_TRUE(ReadFile(m_dir.File("out")) == earlier);
      EXPECT_EQ(m_tmpdir.Entries(), std::vector<std::string>{});
      // The temporary has no name until the commit: nothing of the killed run is left.
      EXPECT_EQ(Entries(), (std::vector<std::string>{".key", ".stderr", "out"}));
      RunningTool next({"save", "--force", "--key-file", ".key", "-", "out"}, m_dir.path(),
                       m_tmpdir.path(), false);
      ASSERT_TRUE(next.Feed(m_plainBlock, 1000));
      next.CloseInput();
      EXPECT_EQ(next.Wait(), 0) << next.Err();
      EXPECT_EQ(Entries(), (std::vector<std::string>{".key", ".stderr", "out"}));
    }
  }
}

TEST_F(CliSignals, AReaderThatGoesAwayEndsTheToolQuietlyAsCatEnds) {
  // The feeder's writes to a tool that has gone must fail, not end this test.
  const auto saved = std::signal(SIGPIPE, SIG_IGN);
  for (std::size_t size : {1 * kMiB, 100 * kMiB, 300 * kMiB}) {
    for (const std::string command : {"load", "decrypt"}) {
      SCOPED_TRACE(command + " of " + std::to_string(size));
      RunningTool tool({command, "--key-file", ".key", "-", "-"}, m_dir.path(), m_tmpdir.path(),
                       true);
      // Fed from a thread of its own: the tool's output must be read while it is fed.
      std::thread feeder([&] {
        if (tool.FeedBytes(m_header)) {
          tool.Feed(m_cipherBlock, size);  // stops early when the tool has gone
        }
        tool.CloseInput();
      });
      // As `| head -c10`: ten bytes are read, then the reader is gone.
      EXPECT_EQ(tool.ReadOutput(10), std::string(m_plainBlock.begin(), m_plainBlock.begin() + 10));
      tool.CloseOutput();
      feeder.join();
      EXPECT_EQ(tool.Wait(), -SIGPIPE);
      EXPECT_EQ(tool.Err(), "");
      EXPECT_EQ(m_tmpdir.Entries(), std::vector<std::string>{});
    }
  }
  std::signal(SIGPIPE, saved);
}

}  // namespace
}  // namespace vantry::test
