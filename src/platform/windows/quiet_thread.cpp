#include "platform/quiet_thread.h"

namespace vantry::platform {

// Console control events get a thread of their own from the system; nothing to block.
std::thread StartQuietThread(std::function<void()> run) { return std::thread(std::move(run)); }

}  // namespace vantry::platform
