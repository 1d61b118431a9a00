#include "platform/trusted_path.h"

namespace vantry::platform {

// Who may change a folder here is its access control list's affair, which for the folders of a
// user's profile, where the secrets live, is the user, the system and administrators; there
// are no owner and mode bits to judge as on POSIX.
void RequireTrustedFolder(const std::string&, const std::string&) {}

// The files read through this are POSIX paths (lists of recipients, which Windows does not
// have): none exists here.
bool ReadTrustedFile(const std::string&, const std::string&, TrustedOwner, std::size_t,
                     std::string*) {
  return false;
}

}  // namespace vantry::platform
