// Finding what a writer's target name stands for, deciding on opened descriptors only: the
// folder is opened, the last component examined and opened relative to it without following a
// link, and every judgement made by fstat of what was opened (see AtomicWriter in file.h for
// the rules on links, other users' files and special files).
#ifndef VANTRY_PLATFORM_POSIX_TARGET_LOOKUP_H_
#define VANTRY_PLATFORM_POSIX_TARGET_LOOKUP_H_

#include <sys/stat.h>

#include <string>

#include "platform/file_system.h"
#include "platform/posix/descriptor.h"

namespace vantry::platform::posix {

// Splits a path into its folder ("" for the current one) and its last component.
void SplitPath(const std::string& path, std::string* folder, std::string* base);
std::string JoinPath(const std::string& folder, const std::string& name);
bool SameFile(const struct stat& a, const struct stat& b) noexcept;

// What the target name stands for once links are followed: the folder it lies in (opened),
// its name there, and its opened descriptor, or -1 when no file of that name exists yet.
struct FoundTarget {
  Descriptor folder;
  std::string folderPath;  // for messages and TempName only; never looked up again
  std::string base;
  Descriptor file;
  int error = 0;  // set when the target is refused or cannot be opened
};

// Fills found for targetName; tells fileSystem when the target was examined.
void FindTarget(const std::string& targetName, FileSystem& fileSystem, FoundTarget* found);

}  // namespace vantry::platform::posix

#endif  // VANTRY_PLATFORM_POSIX_TARGET_LOOKUP_H_
