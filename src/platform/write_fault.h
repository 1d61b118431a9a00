// The write-fault seam of AtomicWriter, shared by the POSIX and Windows writers so both fail at
// the same byte when a test asks for a full disk.
#ifndef VANTRY_PLATFORM_WRITE_FAULT_H_
#define VANTRY_PLATFORM_WRITE_FAULT_H_

#include <cstddef>

#include "platform/file.h"

namespace vantry::platform::detail {

// How many of the next n bytes may still be written before the simulated disk is full: n when
// no fault is set.
std::size_t WriteAllowance(std::size_t n) noexcept;

// Counts bytes that really went to a file towards the simulated limit.
void CountWritten(std::size_t n) noexcept;

// Calls the test's writer hook, if one is set, at step.
void RunWriterHook(WriterStep step);

}  // namespace vantry::platform::detail

#endif  // VANTRY_PLATFORM_WRITE_FAULT_H_
