#include "platform/console.h"

#include <csignal>
#include <stdexcept>

namespace vantry::platform {

std::string SignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
#ifdef SIGHUP  // POSIX's own stop signals
    case SIGHUP:
      return "SIGHUP";
    case SIGQUIT:
      return "SIGQUIT";
#endif
    default:
      return "signal " + std::to_string(signal);
  }
}

void ThrowInterrupted() { throw std::runtime_error("interrupted by " + SignalName(StopSignal())); }

void StopIfSignalled() {
  if (StopSignal() != 0) {
    ThrowInterrupted();
  }
}

}  // namespace vantry::platform
