// FileError: a file could not be opened, created, read, written, closed or put in place.
//
// code() is the operating system's error code (errno on POSIX, GetLastError() on Windows, in
// the system category); cause() says what the library was doing and file_name() names the file
// as the caller passed it. what() reads "<cause> <file name>: <system message>".
#ifndef VANTRY_FILE_ERROR_H_
#define VANTRY_FILE_ERROR_H_

#include <memory>
#include <string>
#include <system_error>

#include "vantry/export.h"

namespace vantry {

class VANTRY_API FileError : public std::system_error {
 public:
  enum class Cause {
    kOpen,     // an existing file could not be opened for reading
    kSize,     // its size could not be read, or is too large to hold in memory
    kRead,     // reading failed or the file ended early
    kCreate,   // an output could not be created or opened for writing
    kWrite,    // writing failed or wrote fewer bytes than asked
    kClose,    // closing (and flushing) failed
    kReplace,  // the finished output could not be put in place of the old one
    // The finished output is in place, but its folder could not be flushed: a crash may still
    // bring back the old one (or none). Reported rather than passed as success.
    kSyncFolder,
  };

  FileError(Cause cause, const std::string& fileName, std::error_code code);
  ~FileError() override;

  Cause cause() const noexcept { return m_cause; }
  const std::string& file_name() const noexcept { return m_fileName; }

  // Built from the platform's own text for the code (FormatMessage on Windows), which
  // std::system_category().message() does not give everywhere.
  const char* what() const noexcept override;

  // "cannot open file for reading", "cannot write file", ...
  static const char* CauseText(Cause cause) noexcept;

 private:
  Cause m_cause;
  std::string m_fileName;
  // Shared, so that copying the exception (as throw and catch do) cannot throw.
  std::shared_ptr<const std::string> m_what;
};

}  // namespace vantry

#endif  // VANTRY_FILE_ERROR_H_
