// Progress of a long run on standard error, in the manner of pv and curl: bytes so far, the
// rate, and with a known size the share done and the time left, on one line that redraws.
#ifndef VANTRY_TOOL_PROGRESS_H_
#define VANTRY_TOOL_PROGRESS_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "command_line.h"
#include "vantry/streams.h"

namespace vantry::tool {

class Progress {
 public:
  using Clock = std::chrono::steady_clock;

  // total 0: unknown. With kAuto the line appears only when out is a terminal and the run has
  // taken longer than kQuietTime; kAlways shows it from the start whatever out is.
  Progress(ProgressMode mode, std::uint64_t total, std::FILE* out);
  ~Progress();  // ends a line that was shown, so a message that follows starts on its own
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Counts n more bytes of input at now.
  void Count(std::size_t n, Clock::time_point now = Clock::now());
  // Draws the final state.
  void Finish(Clock::time_point now = Clock::now());

  // One line of progress (without the carriage return), for the tests.
  static std::string Line(std::uint64_t done, std::uint64_t total, double seconds);

  static constexpr std::chrono::milliseconds kQuietTime{2000};
  static constexpr std::chrono::milliseconds kRedrawEvery{250};

 private:
  void Draw(Clock::time_point now);

  bool m_enabled;
  bool m_always;
  bool m_shown = false;
  std::uint64_t m_total;
  std::uint64_t m_done = 0;
  std::FILE* m_out;
  Clock::time_point m_start;
  Clock::time_point m_lastDraw;
};

// Counts on a Progress what is read through it.
class ProgressReader : public ByteReader {
 public:
  ProgressReader(ByteReader& inner, Progress& progress) : m_inner(inner), m_progress(progress) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    const std::size_t got = m_inner.ReadSome(buffer, n);
    m_progress.Count(got);
    return got;
  }

 private:
  ByteReader& m_inner;
  Progress& m_progress;
};

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_PROGRESS_H_
