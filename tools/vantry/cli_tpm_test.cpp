// The TPM options as a user runs them on machines A and B (software TPMs): a lone TPM slot is
// warned about, unseal finds a file's TPM slot by itself, a recovery key opens it elsewhere.
#include <gtest/gtest.h>

#include "support/cli_runner.h"
#include "support/software_tpm.h"

namespace vantry::test {
namespace {

TEST(CliTpm, SealsForTheTpmWithARecoveryKeyAndUnsealsWithoutOptions) {
  TempDir dir;
  SoftwareTpm a, b;
  WriteFile(dir.File("plain"), {'n', 'o', 't', 'e'});
  const std::string warning =
      "vantry: warning: 'tpm.vts' will open only through this machine's TPM: a cleared or "
      "replaced TPM, or a change of its PCRs, loses it; add a recovery key beside --tpm";
  const struct {
    const SoftwareTpm& machine;
    std::vector<std::string> args;
    std::string err;  // the start of standard error; each step succeeds
  } steps[] = {{a, {"seal", "--tpm-pcrs", "7", "plain", "tpm.vts"}, warning},
               {a, {"unseal", "tpm.vts", "out-a"}, ""},
               {a, {"seal", "--tpm", "--key-env", "PASS", "plain", "both.vts"}, ""},
               {b, {"unseal", "--key-env", "PASS", "both.vts", "out-b"}, ""}};
  for (const auto& step : steps) {
    ToolRun run;
    run.args = step.args;
    run.setEnv = {"VANTRY_TPM_TCTI=" + step.machine.tcti(), "PASS=correct horse battery staple",
                  "XDG_DATA_HOME=" + dir.File("data")};
    run.workingFolder = dir.path();
    const ToolResult result = RunTool(run);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.compare(0, step.err.size(), step.err), 0) << result.err;
  }
  EXPECT_EQ(ReadFile(dir.File("out-a")), ReadFile(dir.File("plain")));
  EXPECT_EQ(ReadFile(dir.File("out-b")), ReadFile(dir.File("plain")));
}

}  // namespace
}  // namespace vantry::test
