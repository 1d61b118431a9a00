// The temporaries a writer writes beside its target: their names, how they are created, how
// they take over the replaced file's mode and attributes, and the sweep of those that killed
// writers left behind.
//
// Temporaries are named ".<target name>.vantry-" and 16 lowercase hexadecimal digits, or made
// unnamed (O_TMPFILE) and named only at the rename. Every writer holds an exclusive lock on its
// temporary until the temporary is gone or renamed.
#ifndef VANTRY_PLATFORM_POSIX_TEMPORARY_FILE_H_
#define VANTRY_PLATFORM_POSIX_TEMPORARY_FILE_H_

#include <sys/types.h>

#include <string>

namespace vantry::platform::posix {

constexpr int kMaxTempAttempts = 16;

// ".<base>.vantry-", the part of a temporary's name that its target decides.
std::string TempPrefixFor(const std::string& base);
// The random rest of a temporary's name.
std::string RandomSuffix();

// An unnamed temporary in the folder, locked, or -1 where the kernel, the file system or a
// missing /proc does not allow one; a named one is made then.
int OpenUnnamedTemp(int folder, mode_t mode);
// How an unnamed temporary is named at commit: linkat through its entry in /proc
// (AT_EMPTY_PATH would need a privilege).
std::string UnnamedPath(int fd);

// Creates the named temporary *name (prefix and a fresh suffix) exclusively and locks it.
// Returns the descriptor, or -1 with errno set; EEXIST when every attempt met a taken name or
// lost its file to another writer's sweep.
int CreateNamedTemp(int folder, const std::string& prefix, mode_t mode, std::string* name);

// Removes temporaries of prefix left by killed writers: only regular files of exactly that
// pattern, owned by the caller, with one link, which no live writer holds. ownTemp is kept.
void RemoveAbandonedTemps(int folder, const std::string& prefix, int ownTemp);

// Gives temp the mode, then the extended attributes of target (an access ACL among them sets
// the group bits as its mask). Returns 0 or the error.
int TakeModeAndAttributes(int target, int temp, unsigned mode);

// Truncates a temporary that is about to be removed: where the name cannot be removed (an
// append-only folder), no plain text stays under it.
void EmptyQuietly(int fd) noexcept;

}  // namespace vantry::platform::posix

#endif  // VANTRY_PLATFORM_POSIX_TEMPORARY_FILE_H_
