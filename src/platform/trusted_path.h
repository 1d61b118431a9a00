// Files the library trusts: a key file, the account's or the machine's secret and their folders.
//
// Whoever can write such a file, or replace it, or any folder on its way, or a link that leads
// to it, chooses the key the library encrypts with or deletes the secret every sealed file
// needs. So before it is used the whole way is judged, in the manner of ssh's StrictModes: the
// file, and every folder from it up to a trusted one ("/", or the user's own home), must belong
// to the user or to root and be writable by nobody else. A folder others may write is accepted
// when it is sticky: there they cannot remove or rename what the user or root owns, and what
// they own themselves is refused anyway. A link on the way is followed only when it belongs to
// the user or to root; another user's link means another user chose where the path leads.
//
// On POSIX every decision is made on what was opened, never on a name checked and then looked
// up again: the walk opens "/" and each component relative to the folder before it, without
// following links, judges it by fstat, and follows a trusted link by reading it and walking on.
// The file handed back is the one judged.
//
// On Windows a file's access control list, not an owner and mode bits, says who may change it,
// and the folders of a user's profile are the user's alone unless someone widened them; the
// walk is not made there.
#ifndef VANTRY_PLATFORM_TRUSTED_PATH_H_
#define VANTRY_PLATFORM_TRUSTED_PATH_H_

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/file.h"

namespace vantry::platform {

// Who may read a trusted file besides its owner: anyone for a key file (its mode is the user's
// affair), nobody for a secret.
enum class Exposure { kReadableByOthers, kOwnerOnly };

// A file or folder on the way that another user can change, replace or redirect. what() names
// it, says who or which mode bits are at fault, and what to do about it.
class UntrustedPathError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Called when a blocking open or read is interrupted by a signal; it may throw to end the wait
// (a stop signal), or return to go on waiting.
using InterruptCheck = std::function<void()>;

// Opens path for reading once it passed the judgment above, and returns its descriptor, which
// the caller closes. Regular files, FIFOs and character devices are accepted (a key may come
// through a pipe); a FIFO is opened blocking, as a reader of a stream waits for its writer, and
// interrupted() runs whenever a signal interrupts that wait. A character device is the
// kernel's, so only its owner is judged. what names the file in messages ("the key file").
// Throws UntrustedPathError as above, and FileError(kOpen) naming path when it cannot be opened
// or is a folder. POSIX only: on Windows a key file is opened as any input is.
NativeHandle OpenTrustedFile(const std::string& path, const std::string& what, Exposure exposure,
                             const InterruptCheck& interrupted = {});

// Who must own a trusted file read whole: the user or root, or root alone for a file an
// administrator keeps for every user of the machine, which no single user may choose for all.
enum class TrustedOwner { kUserOrRoot, kRootOnly };

// Reads the regular file path whole into *content once it passed the judgment above (readable by
// others, owned as owner says), and returns true; false when it does not exist. Reads at most
// maxSize + 1 bytes: more than maxSize in *content means the file is larger. Throws
// UntrustedPathError as above (also for a file that is not a regular one: a FIFO would hang the
// reader), FileError naming path when it cannot be opened or read. what names the file in
// messages. POSIX only: on Windows, where nothing asks for such a file, it reports none.
bool ReadTrustedFile(const std::string& path, const std::string& what, TrustedOwner owner,
                     std::size_t maxSize, std::string* content);

// Throws UntrustedPathError unless folder and every folder above it, up to a trusted one, pass
// the judgment above; FileError(kOpen) naming folder when it cannot be opened. what names what
// the folder holds ("the account's secret").
void RequireTrustedFolder(const std::string& folder, const std::string& what);

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_TRUSTED_PATH_H_
