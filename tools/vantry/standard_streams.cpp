#include "standard_streams.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

#include "console.h"

namespace vantry::tool {
namespace fs = std::filesystem;
namespace {

std::string RandomSuffix() {
  static std::random_device device;
  static std::mt19937_64 rng(device());
  static const char kDigits[] = "0123456789abcdef";
  std::string suffix;
  std::uint64_t value = rng();
  for (int i = 0; i < 12; ++i) {
    suffix += kDigits[value & 15];
    value >>= 4;
  }
  return suffix;
}

[[noreturn]] void ThrowWriteError(const std::string& what, int error) {
  throw std::runtime_error("cannot write " + what + ": " + std::strerror(error));
}

void WriteAll(std::FILE* file, const unsigned char* data, std::size_t n, const std::string& what) {
  if ((n > 0 && std::fwrite(data, 1, n, file) != n) || std::fflush(file) != 0) {
    ThrowWriteError(what, errno);
  }
}

}  // namespace

std::string OperandName(const std::string& operand) {
  return operand == "-" ? "standard input" : "'" + operand + "'";
}

std::vector<unsigned char> ReadBytes(const std::string& path, std::size_t limit) {
  std::FILE* file = nullptr;
  if (path == "-") {
    SetBinaryMode(stdin);
    file = stdin;
  } else {
    file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
      throw std::runtime_error("cannot open " + OperandName(path) + ": " + std::strerror(errno));
    }
  }
  std::vector<unsigned char> bytes;
  unsigned char chunk[65536];
  std::size_t n = 0;
  while (bytes.size() < limit &&
         (n = std::fread(chunk, 1, std::min(sizeof chunk, limit - bytes.size()), file)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  if (file != stdin) {
    std::fclose(file);
  }
  if (failed) {
    throw std::runtime_error("cannot read " + OperandName(path) + ": " + std::strerror(error));
  }
  return bytes;
}

Operands::~Operands() {
  if (!m_scratchFolder.empty()) {
    std::error_code ignored;
    fs::remove_all(m_scratchFolder, ignored);
  }
}

void Operands::CheckOutput(const std::string& operand, bool force) {
  if (operand == "-") {
    if (IsTerminal(stdout)) {
      throw std::runtime_error(
          "binary data is not written to a terminal; redirect standard output or name an "
          "OUTPUT file");
    }
    return;
  }
  std::error_code error;
  if (!force && fs::exists(fs::symlink_status(operand, error))) {
    throw std::runtime_error("'" + operand + "' exists; use --force to replace it");
  }
}

std::string Operands::ScratchFile(const std::string& name) {
  if (m_scratchFolder.empty()) {
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    for (int attempt = 0; attempt < 100 && m_scratchFolder.empty(); ++attempt) {
      const fs::path candidate = base / ("vantry-" + RandomSuffix());
      if (!error && fs::create_directory(candidate, error)) {
        // Standard streams may carry plain text: only this user may look inside. Files are
        // created only after this, so nobody can hold one open from before.
        fs::permissions(candidate, fs::perms::owner_all, fs::perm_options::replace, error);
        m_scratchFolder = candidate.string();
        if (error) {
          throw std::runtime_error("cannot make a private scratch folder: " + error.message());
        }
      }
    }
    if (m_scratchFolder.empty()) {
      throw std::runtime_error("cannot make a scratch folder in the temporary folder" +
                               (error ? ": " + error.message() : std::string()));
    }
  }
  return (fs::path(m_scratchFolder) / name).string();
}

std::string Operands::InputPath(const std::string& operand) {
  if (operand != "-") {
    return operand;
  }
  const std::vector<unsigned char> bytes = ReadBytes(operand);
  const std::string path = ScratchFile("standard-input");
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    ThrowWriteError("a scratch copy of standard input", errno);
  }
  try {
    WriteAll(file, bytes.data(), bytes.size(), "a scratch copy of standard input");
  } catch (...) {
    std::fclose(file);
    throw;
  }
  if (std::fclose(file) != 0) {
    ThrowWriteError("a scratch copy of standard input", errno);
  }
  m_aliases.emplace_back(path, "-");
  return path;
}

std::string Operands::OutputPath(const std::string& operand) {
  if (operand != "-") {
    return operand;
  }
  m_stdoutScratch = ScratchFile("standard-output");
  m_aliases.emplace_back(m_stdoutScratch, "-");
  return m_stdoutScratch;
}

void Operands::FinishOutput() {
  if (m_stdoutScratch.empty()) {
    return;
  }
  const std::vector<unsigned char> bytes = ReadBytes(m_stdoutScratch);
  WriteOutput("-", bytes.data(), bytes.size());
}

void Operands::WriteOutput(const std::string& operand, const unsigned char* data, std::size_t n) {
  if (operand == "-") {
    SetBinaryMode(stdout);
    WriteAll(stdout, data, n, "standard output");
    return;
  }
  // Written beside the target and renamed over it when complete: a failure leaves an earlier
  // OUTPUT as it was and no partial file under its name.
  const std::string temp = operand + ".vantry-" + RandomSuffix();
  std::FILE* file = std::fopen(temp.c_str(), "wbx");
  if (file == nullptr) {
    ThrowWriteError("'" + operand + "'", errno);
  }
  try {
    WriteAll(file, data, n, "'" + operand + "'");
    if (std::fclose(file) != 0) {
      file = nullptr;
      ThrowWriteError("'" + operand + "'", errno);
    }
    file = nullptr;
    std::error_code error;
    fs::rename(temp, operand, error);
    if (error) {
      throw std::runtime_error("cannot write '" + operand + "': " + error.message());
    }
  } catch (...) {
    if (file != nullptr) {
      std::fclose(file);
    }
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw;
  }
}

std::string Operands::Explain(std::string message) const {
  for (const auto& [scratch, operand] : m_aliases) {
    for (std::size_t at = message.find(scratch); at != std::string::npos;
         at = message.find(scratch, at + operand.size())) {
      message.replace(at, scratch.size(), operand);
    }
  }
  return message;
}

}  // namespace vantry::tool
