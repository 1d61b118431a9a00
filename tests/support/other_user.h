// Acting as a second local user: a forked child that drops to an unprivileged user and group
// before it acts, so that a test can play another user of the machine without an account.
// POSIX only.
#ifndef VANTRY_TESTS_SUPPORT_OTHER_USER_H_
#define VANTRY_TESTS_SUPPORT_OTHER_USER_H_

#include <functional>
#include <string>

namespace vantry::test {

// The user and group id the child takes ("nobody" on most systems).
inline constexpr unsigned kOtherUserId = 65534;

// True when this process may drop to another user (it runs as root).
bool CanActAsOtherUser();

// Runs action in a child process as kOtherUserId and returns its verdict: false when action
// returns false or throws, or when the child cannot drop its privileges. The child leaves by
// _exit, so nothing of the test's state is destroyed twice.
bool AsOtherUser(const std::function<bool()>& action);

// Owner and mode bits of a path, not following a final link; false when it does not exist.
bool OwnerAndMode(const std::string& path, unsigned* owner, unsigned* mode);

}  // namespace vantry::test

#endif  // VANTRY_TESTS_SUPPORT_OTHER_USER_H_
