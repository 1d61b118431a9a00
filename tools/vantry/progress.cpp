#include "progress.h"

#include "console.h"

namespace vantry::tool {
namespace {

std::string Size(double bytes) {
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

std::string Duration(double seconds) {
  const auto whole = static_cast<long long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  return text;
}

}  // namespace

Progress::Progress(ProgressMode mode, std::uint64_t total, std::FILE* out)
    : m_enabled(mode == ProgressMode::kAlways || (mode == ProgressMode::kAuto && IsTerminal(out))),
      m_always(mode == ProgressMode::kAlways),
      m_total(total),
      m_out(out),
      m_start(Clock::now()),
      m_lastDraw(m_start) {}

Progress::~Progress() {
  if (m_shown) {
    std::fputc('\n', m_out);
  }
}

void Progress::Count(std::size_t n, Clock::time_point now) {
  m_done += n;
  if (!m_enabled || now - m_lastDraw < kRedrawEvery) {
    return;
  }
  if (m_always || now - m_start >= kQuietTime) {
    Draw(now);
  }
}

void Progress::Finish(Clock::time_point now) {
  if (m_shown || (m_enabled && m_always)) {
    Draw(now);
  }
}

void Progress::Draw(Clock::time_point now) {
  m_lastDraw = now;
  m_shown = true;
  const double seconds = std::chrono::duration<double>(now - m_start).count();
  // The line is padded so a shorter redraw covers a longer one.
  std::fprintf(m_out, "\r%-60s", Line(m_done, m_total, seconds).c_str());
  std::fflush(m_out);
}

std::string Progress::Line(std::uint64_t done, std::uint64_t total, double seconds) {
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  std::string line;
  if (total > 0) {
    const std::uint64_t shown = done < total ? done : total;
    line += std::to_string(shown * 100 / total) + "%  " + Size(static_cast<double>(shown)) +
            " of " + Size(static_cast<double>(total));
  } else {
    line += Size(static_cast<double>(done));
  }
  line += "  " + Size(rate) + "/s  " + Duration(seconds);
  if (total > done && rate > 0) {
    line += "  ETA " + Duration(static_cast<double>(total - done) / rate);
  }
  return line;
}

}  // namespace vantry::tool
