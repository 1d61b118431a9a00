// verify of sealed files, stopped: a stop signal that came while no read was waiting ends the
// run all the same, however many FILEs are left.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "command_line.h"
#include "console.h"
#include "seal_commands.h"
#include "support/test_support.h"
#include "vantry/vantry_c.h"

namespace vantry::tool {
namespace {

TEST(SealCommandsStopTest, AStopSignalEndsTheVerifyOfSealedFiles) {
  test::TempDir dir;
  const std::string key = dir.File("key"), file = dir.File("f.vts");
  test::WriteFile(key, {'p', 'a', 's', 's'});
  ASSERT_EQ(vantry_seal(file.c_str(), "x", 1, VANTRY_SEALED_PASSPHRASE, "pass", 4), VANTRY_OK);
  const Options options = ParseCommandLine({"verify", "--key-file", key, file, file}).options;
  const pid_t child = ::fork();
  if (child == 0) {  // the stop signal stays recorded: in a process of its own
    CatchStopSignals();
    ::raise(SIGTERM);
    try {
      RunVerifyFiles(options);
    } catch (const std::exception& e) {
      ::_exit(std::string(e.what()) == "interrupted by SIGTERM" ? 0 : 2);
    }
    ::_exit(1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace vantry::tool
