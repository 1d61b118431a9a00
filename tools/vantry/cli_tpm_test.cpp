// The TPM options as a user runs them, machines A and B being two software TPMs: a lone TPM
// slot is warned about, unseal finds a file's TPM slot by itself, and on another machine the
// recovery key beside the TPM opens what the TPM refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_runner.h"
#include "support/software_tpm.h"
#include "support/test_support.h"

namespace vantry::test {
namespace {

TEST(CliTpm, SealsForTheTpmWithARecoveryKeyAndUnsealsWithoutOptions) {
  TempDir dir;
  SoftwareTpm a;
  SoftwareTpm b;
  WriteFile(dir.File("plain"), {'n', 'o', 't', 'e'});
  const struct {
    const SoftwareTpm& machine;
    std::vector<std::string> args;
    int exitCode;
    std::string err;  // what standard error starts with
  } steps[] = {
      {a,
       {"seal", "--tpm-pcrs", "7", "plain", "tpm.vts"},
       0,
       "vantry: warning: 'tpm.vts' will open only through this machine's TPM: a cleared or "
       "replaced TPM, or a change of its PCRs, loses it; add a recovery key beside --tpm"},
      {a, {"unseal", "tpm.vts", "out-a"}, 0, ""},
      {a, {"seal", "--tpm", "--key-env", "PASS", "plain", "both.vts"}, 0, ""},
      {b,
       {"unseal", "both.vts", "out-b"},
       1,
       "vantry: error: 'both.vts' was sealed by another machine's TPM"},
      {b, {"unseal", "--key-env", "PASS", "both.vts", "out-b"}, 0, ""},
      {a,
       {"seal", "--tpm-pcrs", "7,24", "plain", "bad.vts"},
       2,
       "vantry: option --tpm-pcrs takes PCR numbers from 0 to 23 separated by commas, not "
       "'7,24'"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.args[0] + " " + step.args[step.args.size() - 1]);
    ToolRun run;
    run.args = step.args;
    run.setEnv = {"VANTRY_TPM_TCTI=" + step.machine.tcti(), "XDG_DATA_HOME=" + dir.File("data"),
                  "PASS=correct horse battery staple"};
    run.workingFolder = dir.path();
    const ToolResult result = RunTool(run);
    EXPECT_EQ(result.exitCode, step.exitCode);
    EXPECT_EQ(result.err.compare(0, step.err.size(), step.err), 0) << result.err;
  }
  EXPECT_EQ(ReadFile(dir.File("out-a")), ReadFile(dir.File("plain")));
  EXPECT_EQ(ReadFile(dir.File("out-b")), ReadFile(dir.File("plain")));
}

}  // namespace
}  // namespace vantry::test
