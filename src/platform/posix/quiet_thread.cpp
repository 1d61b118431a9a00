#include "platform/quiet_thread.h"

#include <pthread.h>
#include <signal.h>

namespace vantry::platform {

// A new thread inherits its creator's mask: block everything for the moment of creation.
std::thread StartQuietThread(std::function<void()> run) {
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &previous);
  try {
    std::thread thread(std::move(run));
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return thread;
  } catch (...) {
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    throw;
  }
}

}  // namespace vantry::platform
