#include "operands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "console.h"
#include "vantry/file_error.h"

namespace vantry::tool {
namespace {

const char kStandardInput[] = "standard input";
const char kStandardOutput[] = "standard output";

const char* Verb(FileError::Cause cause) {
  switch (cause) {
    case FileError::Cause::kOpen:
      return "cannot open";
    case FileError::Cause::kSize:
      return "cannot read the size of";
    case FileError::Cause::kRead:
      return "cannot read";
    case FileError::Cause::kCreate:
      return "cannot create";
    case FileError::Cause::kWrite:
      return "cannot write";
    case FileError::Cause::kClose:
      return "cannot close";
    case FileError::Cause::kReplace:
      return "cannot replace";
    case FileError::Cause::kSyncFolder:
      return "cannot flush to disk the folder of";
  }
  return "cannot use";
}

// The system's own text, as the library put it at the end of what().
std::string SystemText(const FileError& e) {
  const std::string what = e.what();
  const std::string head =
      std::string(FileError::CauseText(e.cause())) + " " + e.file_name() + ": ";
  if (what.compare(0, head.size(), head) == 0) {
    return what.substr(head.size());
  }
  return e.code().message();
}

}  // namespace

std::string PrintableName(const std::string& name) {
  std::string printable;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      printable += "\\\\";
    } else if (c == '\n') {
      printable += "\\n";
    } else if (c == '\t') {
      printable += "\\t";
    } else if (c == '\r') {
      printable += "\\r";
    } else if (byte < 0x20 || byte == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      printable += escaped;
    } else {
      printable += c;
    }
  }
  return printable;
}

std::string OperandName(const std::string& operand) {
  return operand == "-" ? kStandardInput : "'" + PrintableName(operand) + "'";
}

void CheckOutput(const std::string& operand, bool force) {
  // OUTPUT is always named, so "-" is always asked for by the user, and is written wherever
  // standard output goes, a terminal too: the rule of tools that refuse binary data on a
  // terminal only when the user did not name standard output.
  if (operand == "-") {
    return;
  }
  // What OUTPUT names, through a link: only a regular file is ever replaced, so for anything
  // else --force would not help, and the reason is given instead.
  std::error_code error;
  const std::filesystem::file_status target = std::filesystem::status(operand, error);
  const std::string shown = "'" + PrintableName(operand) + "'";
  const char* what = nullptr;
  switch (target.type()) {
    case std::filesystem::file_type::fifo:
      what = "a FIFO";
      break;
    case std::filesystem::file_type::character:
    case std::filesystem::file_type::block:
      what = "a device";
      break;
    case std::filesystem::file_type::socket:
      what = "a socket";
      break;
    default:
      break;
  }
  if (target.type() == std::filesystem::file_type::directory) {
    throw std::runtime_error(shown + " is a folder; OUTPUT names the file to write");
  }
  if (what != nullptr) {
    throw std::runtime_error(shown + " is " + what +
                             ": OUTPUT is written as a new file put in place whole, so it must "
                             "name a file; give '-' and redirect standard output to write there");
  }
  if (!force && std::filesystem::exists(std::filesystem::symlink_status(operand, error))) {
    throw std::runtime_error(shown + " exists; use --force to replace it");
  }
}

void CheckReplaceable(const std::string& operand, bool inPlace) {
  std::error_code error;
  if (operand == "-" || inPlace || !std::filesystem::exists(operand, error)) {
    return;
  }
  // The temporary goes beside the file a link leads to.
  std::string target = operand;
  if (std::filesystem::is_symlink(operand, error)) {
    const std::filesystem::path resolved = std::filesystem::canonical(operand, error);
    if (!error) {
      target = resolved.string();
    }
  }
  if (!FolderTakesNewFiles(target)) {
    throw std::runtime_error("cannot create a temporary file beside '" + PrintableName(operand) +
                             "': its folder is not writable. Rewriting it in place instead "
                             "would lose its content if the run fails part way; use "
                             "--in-place to do so anyway");
  }
}

std::unique_ptr<ByteReader> OpenInput(const std::string& operand) {
  if (operand == "-") {
    return OpenStandardInputReader();
  }
  if (IsStreamInput(operand)) {
    return OpenUnlockedInput(operand, InputRole::kData);
  }
  return OpenFileReader(operand);
}

namespace {

bool g_standardOutputClosed = false;

// Standard output that notes a reader that went away.
class StandardOutputWriter : public ByteWriter {
 public:
  StandardOutputWriter() : m_inner(OpenStandardOutputWriter()) {}
  void Write(const void* data, std::size_t n) override {
    Noting([&] { m_inner->Write(data, n); });
  }
  void Commit() override {
    Noting([&] { m_inner->Commit(); });
  }

 private:
  template <class Step>
  static void Noting(Step step) {
    try {
      step();
    } catch (const FileError& e) {
      g_standardOutputClosed = g_standardOutputClosed || e.code() == std::errc::broken_pipe;
      throw;
    }
  }
  std::unique_ptr<ByteWriter> m_inner;
};

}  // namespace

bool StandardOutputClosed() { return g_standardOutputClosed; }

int FlushStandardOutput(int status, int failureStatus) {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
    return status;
  }
  const int error = errno;
  if (error == EPIPE) {
    EndByClosedOutput();
  }
  std::fprintf(stderr, "vantry: error: cannot write standard output: %s\n", std::strerror(error));
  // Said once: a later flush of the same command does not say it again.
  std::clearerr(stdout);
  return failureStatus;
}

std::uint64_t KnownSize(const std::string& operand) {
  if (operand == "-") {
    return 0;
  }
  std::error_code error;
  if (!std::filesystem::is_regular_file(operand, error)) {
    return 0;
  }
  const std::uintmax_t size = std::filesystem::file_size(operand, error);
  return error ? 0 : static_cast<std::uint64_t>(size);
}

std::unique_ptr<ByteWriter> OpenOutput(const std::string& operand, OutputKind kind, bool inPlace) {
  if (operand == "-") {
    return std::make_unique<StandardOutputWriter>();
  }
  // Not only checked up front (CheckReplaceable): a folder whose permissions change after that
  // check still cannot make the writer cut OUTPUT without --in-place.
  return CreateFileWriter(operand, kind,
                          inPlace ? InPlaceRewrite::kAllowed : InPlaceRewrite::kRefused);
}

std::string DescribeFailure(const std::exception& failure) {
  const auto* fileError = dynamic_cast<const FileError*>(&failure);
  if (fileError == nullptr) {
    return failure.what();
  }
  const std::string& name = fileError->file_name();
  const std::string shown =
      name == kStandardInput || name == kStandardOutput ? name : "'" + PrintableName(name) + "'";
  const bool opening = fileError->cause() == FileError::Cause::kOpen ||
                       fileError->cause() == FileError::Cause::kCreate;
  if (opening && IsHeldByAnother(fileError->code())) {
    return std::string(Verb(fileError->cause())) + " " + shown +
           ": it is in use by another program";
  }
  return std::string(Verb(fileError->cause())) + " " + shown + ": " + SystemText(*fileError);
}

}  // namespace vantry::tool
