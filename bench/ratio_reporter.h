// RatioReporter: the console output of Google Benchmark, and at the end a summary that sets
// each Vantry case beside its OpenSSL twin.
//
// Benchmarks are named "<case>:<side>". Within a case, the side "OpenSSL" is the reference;
// every other side (Vantry, or a variant such as "OpenSSL+durable") is reported as a speed ratio
// (its bytes per second over the reference's, above 1 is faster) and a time ratio (its time over
// the reference's, below 1 is faster). With repetitions, the median is taken. Cases measure
// CPU time unless they ask for real time (the file cases do, since they wait for the disk).
#ifndef VANTRY_BENCH_RATIO_REPORTER_H_
#define VANTRY_BENCH_RATIO_REPORTER_H_

#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace vantry::bench {

struct Target {
  enum class Kind { kSpeedAtLeast, kTimeAtMost };
  Kind kind;
  double ratio;
  std::string side;  // the side the target applies to, normally "Vantry"
};

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override;

  void SetTarget(const std::string& caseName, const Target& target);
  // The side the case's others are compared with, when it is not OpenSSL.
  void SetReference(const std::string& caseName, const std::string& side);
  // Prints the table of ratios; returns the number of targets missed.
  int PrintSummary(std::ostream& out) const;

 private:
  struct Result {
    double secondsPerIteration = 0;
    double bytesPerSecond = 0;
  };
  std::vector<std::string> m_cases;  // in the order they ran
  std::map<std::string, std::vector<std::pair<std::string, Result>>> m_results;
  std::map<std::string, Target> m_targets;
  std::map<std::string, std::string> m_references;
};

}  // namespace vantry::bench

#endif  // VANTRY_BENCH_RATIO_REPORTER_H_
