// A thread for work its starter waits on, started so that it takes none of the process's
// signals. A stop signal (Ctrl-C, a closing terminal, SIGTERM) then always reaches a thread that
// can act on it, such as the starter blocked in a read the signal must interrupt, and a host's
// own handlers never run on a thread the host did not make.
#ifndef VANTRY_PLATFORM_QUIET_THREAD_H_
#define VANTRY_PLATFORM_QUIET_THREAD_H_

#include <functional>
#include <thread>

namespace vantry::platform {

// Starts run on a new thread with every signal blocked in it (POSIX; Windows delivers no
// signals to threads). The calling thread's own signal mask is as it was afterwards. Throws
// std::system_error or std::bad_alloc when no thread can be made.
std::thread StartQuietThread(std::function<void()> run);

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_QUIET_THREAD_H_
