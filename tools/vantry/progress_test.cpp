// The progress line: when it shows and what it says. Time is passed in, never waited for.
#include "progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace vantry::tool {
namespace {

TEST(Progress, LineSaysSizeRateAndWhatIsLeft) {
  EXPECT_EQ(Progress::Line(0, 0, 0), "0 B  0 B/s  0:00");
  EXPECT_EQ(Progress::Line(3u << 20, 0, 2), "3.0 MiB  1.5 MiB/s  0:02");
  EXPECT_EQ(Progress::Line(256u << 20, 1u << 30, 4),
            "25%  256.0 MiB of 1.0 GiB  64.0 MiB/s  0:04  ETA 0:12");
  EXPECT_EQ(Progress::Line(1u << 30, 1u << 30, 100), "100%  1.0 GiB of 1.0 GiB  10.2 MiB/s  1:40");
}

std::string Shown(ProgressMode mode, std::chrono::milliseconds runTime) {
  std::FILE* out = std::tmpfile();
  {
    Progress progress(mode, 1000, out);
    const auto start = Progress::Clock::now();
    progress.Count(500, start + runTime / 2);
    progress.Count(500, start + runTime);
    progress.Finish(start + runTime);
  }
  std::string text(4096, '\0');
  std::rewind(out);
  text.resize(std::fread(&text[0], 1, text.size(), out));
  std::fclose(out);
  return text;
}

TEST(Progress, ShownWhenForcedOrLongOnATerminalOnly) {
  // A file is no terminal: the automatic mode stays silent however long the run.
  EXPECT_EQ(Shown(ProgressMode::kAuto, std::chrono::seconds(10)), "");
  EXPECT_EQ(Shown(ProgressMode::kNever, std::chrono::seconds(10)), "");
  const std::string forced = Shown(ProgressMode::kAlways, std::chrono::seconds(1));
  EXPECT_NE(forced.find("\r50%"), std::string::npos) << forced;
  EXPECT_NE(forced.find("\r100%"), std::string::npos) << forced;
  EXPECT_EQ(forced.back(), '\n');
}

}  // namespace
}  // namespace vantry::tool
