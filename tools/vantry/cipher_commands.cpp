// encrypt, decrypt and verify: a CRijndaelCipher keyed from the options. With the default
// options it is keyed exactly as the library's entry points key theirs, so these commands
// read and write the same files as save and load.
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands.h"
#include "key_source.h"
#include "standard_streams.h"
#include "vantry/machine_key.h"
#include "vantry/rijndael_cipher.h"

namespace vantry::tool {
namespace {

constexpr std::size_t kDigestSize = 32;

// Keys cipher from the options and the key: a key text goes through the entry points' 32-byte
// buffer (characters up to the first NUL, zero bytes after), raw key data is given as it is.
void KeyCipher(CRijndaelCipher& cipher, const Options& options, const KeyMaterial& key) {
  std::vector<unsigned char> chain(kVantryChainBlock, kVantryChainBlock + sizeof kVantryChainBlock);
  chain.resize(static_cast<std::size_t>(options.blockSize), 0);
  if (options.iv) {
    chain = *options.iv;
  }
  if (key.rawData) {
    cipher.SetKey(key.bytes.data(), static_cast<std::int32_t>(key.bytes.size()), chain.data(),
                  options.keySize, options.blockSize, options.mode, options.padding);
    return;
  }
  const std::string text = key.machineKey ? MachineKeyText() : key.text;
  unsigned char buffer[kVantryKeyBufferSize] = {};
  for (std::size_t i = 0; i < sizeof buffer && i < text.size() && text[i] != '\0'; ++i) {
    buffer[i] = static_cast<unsigned char>(text[i]);
  }
  cipher.SetKey(buffer, kVantryKeyBufferSize, chain.data(), options.keySize, options.blockSize,
                options.mode, options.padding);
  volatile unsigned char* wipe = buffer;
  for (std::size_t i = 0; i < sizeof buffer; ++i) {
    wipe[i] = 0;
  }
}

int RunCipher(const Options& options, bool encrypt) {
  const std::string& input = options.operands[0];
  const std::string& output = options.operands[1];
  Operands::CheckOutput(output, options.force);
  const KeyMaterial key = ObtainKey(options.key, encrypt);
  CRijndaelCipher cipher;
  KeyCipher(cipher, options, key);
  Operands operands;
  try {
    const std::string inputPath = operands.InputPath(input);
    const std::string outputPath = operands.OutputPath(output);
    CBlockCipher& blockCipher = cipher;
    if (encrypt && options.inMemory) {
      blockCipher.EncryptFile(inputPath, outputPath);
    } else if (encrypt) {
      blockCipher.EncryptFileStream(inputPath, outputPath);
    } else if (options.inMemory) {
      blockCipher.DecryptFile(inputPath, outputPath);
    } else {
      blockCipher.DecryptFileStream(inputPath, outputPath);
    }
    operands.FinishOutput();
  } catch (const std::exception& e) {
    throw std::runtime_error(operands.Explain(e.what()));
  }
  return 0;
}

}  // namespace

int RunEncrypt(const Options& options) { return RunCipher(options, true); }

int RunDecrypt(const Options& options) { return RunCipher(options, false); }

int RunVerify(const Options& options) {
  const std::string& file = options.operands[0];
  const KeyMaterial key = ObtainKey(options.key, false);
  CRijndaelCipher cipher;
  KeyCipher(cipher, options, key);
  unsigned char digest[kDigestSize];
  static_cast<CBlockCipher&>(cipher).GetKeyDigest(digest);

  const std::vector<unsigned char> content = ReadBytes(file, kDigestSize);
  const std::string name = OperandName(file);
  if (content.size() < kDigestSize) {
    throw std::runtime_error(name + " is too short to be a protected file");
  }
  // Every byte is compared whatever the first difference: the time taken tells nothing about
  // how much of the digest matched.
  unsigned difference = 0;
  for (std::size_t i = 0; i < kDigestSize; ++i) {
    difference |= static_cast<unsigned>(content[i] ^ digest[i]);
  }
  if (difference != 0) {
    throw std::runtime_error(name + " was not protected with this key and these parameters");
  }
  std::printf("%s: the key matches\n", file.c_str());
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace vantry::tool
