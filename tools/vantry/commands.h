// The commands of the vantry tool. Each returns the exit status; failures are exceptions whose
// message is for the user.
#ifndef VANTRY_TOOL_COMMANDS_H_
#define VANTRY_TOOL_COMMANDS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "command_line.h"
#include "key_source.h"
#include "vantry/byte_io.h"
#include "vantry/rijndael_cipher.h"

namespace vantry::tool {

// Through the library's entry points.
int RunSave(const Options& options);
int RunLoad(const Options& options);
int RunMachineKey();

// Through a CRijndaelCipher keyed with the options' parameters.
int RunEncrypt(const Options& options);
int RunDecrypt(const Options& options);
// Whether the options' key protected the file named file, whose content input reads (opened
// by the caller, which has already looked at its first bytes).
int RunVerify(const Options& options, const std::string& file, ByteReader& input);

// Refuses INPUT and OUTPUT that name one file: the output would replace the input being read
// (and its exclusive lock would make the output look held by another program).
void CheckDistinct(const std::string& input, const std::string& output);

// Counts and drops what it is given: verify reads files through the library without writing
// them anywhere.
class CountingWriter final : public ByteWriter {
 public:
  void Write(const void*, std::size_t n) override { count += n; }
  void Commit() override {}
  std::uint64_t count = 0;
};

// Keys cipher from the options and the key as every command does (exposed for the tool's key
// hygiene test): its copies of the key are wiped before it returns.
void KeyCipherForOptions(CRijndaelCipher& cipher, const Options& options, const ObtainedKey& key);

}  // namespace vantry::tool

#endif  // VANTRY_TOOL_COMMANDS_H_
