#include "files/buffered_file_output.h"

namespace vantry {

BufferedFileOutput::BufferedFileOutput(const std::string& targetName,
                                       platform::OutputContents contents)
    : m_writer(CreateFileWriter(targetName, contents == platform::OutputContents::kPlainText
                                                ? OutputKind::kPlainText
                                                : OutputKind::kProtected)) {}

BufferedFileOutput::~BufferedFileOutput() = default;

void BufferedFileOutput::Append(const void* data, std::size_t n) { m_writer->Write(data, n); }

void BufferedFileOutput::Commit() { m_writer->Commit(); }

}  // namespace vantry
