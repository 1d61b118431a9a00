#include "vantry/file_error.h"

#include "platform/file.h"

namespace vantry {
namespace {

std::string ComposeWhat(FileError::Cause cause, const std::string& fileName,
                        const std::error_code& code) {
  // The system category's own message() is strerror text even for GetLastError() codes on
  // some Windows runtimes, so the platform layer supplies the text.
  const std::string reason = code.category() == std::system_category()
                                 ? platform::SystemErrorText(code.value())
                                 : code.message();
  std::string what = std::string(FileError::CauseText(cause)) + " " + fileName + ": " + reason;
  if (cause == FileError::Cause::kSyncFolder) {
    what += " (the new file is in place, but a crash could still undo that: check the disk)";
  }
  return what;
}

}  // namespace

FileError::FileError(Cause cause, const std::string& fileName, std::error_code code)
    : std::system_error(code, FileError::CauseText(cause)),
      m_cause(cause),
      m_fileName(fileName),
      m_what(std::make_shared<const std::string>(ComposeWhat(cause, fileName, code))) {}

FileError::~FileError() = default;

// A moved-from error has no text of its own any more; the base still has one.
const char* FileError::what() const noexcept {
  return m_what ? m_what->c_str() : std::system_error::what();
}

const char* FileError::CauseText(Cause cause) noexcept {
  switch (cause) {
    case Cause::kOpen:
      return "cannot open file for reading";
    case Cause::kSize:
      return "cannot read the size of file";
    case Cause::kRead:
      return "cannot read file";
    case Cause::kCreate:
      return "cannot create file";
    case Cause::kWrite:
      return "cannot write file";
    case Cause::kClose:
      return "cannot close file";
    case Cause::kReplace:
      return "cannot replace file";
    case Cause::kSyncFolder:
      return "cannot flush to disk the folder of file";
  }
  return "file error";
}

}  // namespace vantry
