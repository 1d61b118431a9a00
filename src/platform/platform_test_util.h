// Helpers of the platform's tests: writers over a file system that a test wraps.
#ifndef VANTRY_PLATFORM_PLATFORM_TEST_UTIL_H_
#define VANTRY_PLATFORM_PLATFORM_TEST_UTIL_H_

#include <functional>
#include <utility>

#include "platform/file.h"
#include "platform/file_system.h"

namespace vantry::test {

using platform::FileSystem;
using platform::FileSystemWrapper;
using platform::OutputContents;
using platform::WriterOptions;
using platform::WriterStep;

// Calls act at each step of a writer, as a process racing with it would act there.
class SteppingFileSystem : public FileSystemWrapper {
 public:
  explicit SteppingFileSystem(std::function<void(WriterStep)> act) : m_act(std::move(act)) {}
  void Reached(WriterStep step) override { m_act(step); }

 private:
  std::function<void(WriterStep)> m_act;
};

// A writer's options with fileSystem instead of the system's.
inline WriterOptions Through(FileSystem& fileSystem,
                             OutputContents contents = OutputContents::kProtected) {
  return WriterOptions{contents, true, false, &fileSystem};
}

}  // namespace vantry::test

#endif  // VANTRY_PLATFORM_PLATFORM_TEST_UTIL_H_
