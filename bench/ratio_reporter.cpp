#include "ratio_reporter.h"

#include <algorithm>
#include <cstdio>

namespace vantry::bench {

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  if (runs.empty() || runs.front().error_occurred) {
    return;
  }
  // The median of repetitions when there are several, else the one run.
  const Run* chosen = &runs.back();
  for (const Run& run : runs) {
    if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
      chosen = &run;
    }
  }
  const std::string& name = chosen->run_name.function_name;
  const auto colon = name.rfind(':');
  if (colon == std::string::npos) {
    return;
  }
  const std::string caseName = name.substr(0, colon);
  Result result;
  // The time the case measures, as its bytes per second do: real time when it asked for it.
  const bool realTime = chosen->run_name.time_type == "real_time";
  result.secondsPerIteration =
      (realTime ? chosen->GetAdjustedRealTime() : chosen->GetAdjustedCPUTime()) /
      benchmark::GetTimeUnitMultiplier(chosen->time_unit);
  const auto bytes = chosen->counters.find("bytes_per_second");
  if (bytes != chosen->counters.end()) {
    result.bytesPerSecond = bytes->second.value;
  }
  if (m_results.find(caseName) == m_results.end()) {
    m_cases.push_back(caseName);
  }
  m_results[caseName].emplace_back(name.substr(colon + 1), result);
}

void RatioReporter::SetTarget(const std::string& caseName, const Target& target) {
  m_targets[caseName] = target;
}

void RatioReporter::SetReference(const std::string& caseName, const std::string& side) {
  m_references[caseName] = side;
}

int RatioReporter::PrintSummary(std::ostream& out) const {
  int missed = 0;
  char line[256];
  std::snprintf(line, sizeof line, "%-34s %-16s %12s %12s %8s %8s  %s\n", "case", "side", "MiB/s",
                "time/iter", "speed", "time", "target");
  out << "\nRatios against OpenSSL (speed = side / OpenSSL in bytes per second; time = the "
         "inverse)\n"
      << line;
  for (const std::string& caseName : m_cases) {
    const auto& sides = m_results.at(caseName);
    const auto named = m_references.find(caseName);
    const std::string referenceSide = named == m_references.end() ? "OpenSSL" : named->second;
    const auto reference = std::find_if(sides.begin(), sides.end(),
                                        [&](const auto& s) { return s.first == referenceSide; });
    for (const auto& [side, result] : sides) {
      const double mib = result.bytesPerSecond / (1024.0 * 1024.0);
      double time = result.secondsPerIteration;
      const char* unit = "s";
      if (time < 1e-6) {
        time *= 1e9, unit = "ns";
      } else if (time < 1e-3) {
        time *= 1e6, unit = "us";
      } else if (time < 1) {
        time *= 1e3, unit = "ms";
      }
      char timeText[32];
      std::snprintf(timeText, sizeof timeText, "%.2f %s", time, unit);
      std::string speedText = "", timeRatioText = "", targetText;
      if (reference != sides.end() && side != referenceSide &&
          reference->second.bytesPerSecond > 0) {
        const double speedRatio = result.bytesPerSecond / reference->second.bytesPerSecond;
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.3f", speedRatio);
        speedText = buffer;
        std::snprintf(buffer, sizeof buffer, "%.3f", 1.0 / speedRatio);
        timeRatioText = buffer;
        const auto target = m_targets.find(caseName);
        if (target != m_targets.end() && target->second.side == side) {
          const Target& t = target->second;
          const bool met = t.kind == Target::Kind::kSpeedAtLeast ? speedRatio >= t.ratio
                                                                 : 1.0 / speedRatio <= t.ratio;
          std::snprintf(buffer, sizeof buffer, "%s %s %.2f: %s",
                        t.kind == Target::Kind::kSpeedAtLeast ? "speed" : "time",
                        t.kind == Target::Kind::kSpeedAtLeast ? ">=" : "<=", t.ratio,
                        met ? "met" : "MISSED");
          targetText = buffer;
          missed += met ? 0 : 1;
        }
      }
      std::snprintf(line, sizeof line, "%-34s %-16s %12.1f %12s %8s %8s  %s\n", caseName.c_str(),
                    side.c_str(), mib, timeText, speedText.c_str(), timeRatioText.c_str(),
                    targetText.c_str());
      out << line;
    }
  }
  return missed;
}

}  // namespace vantry::bench
