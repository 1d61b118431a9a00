// Arbitrary bytes given as a protected file to the three readers: the load entry point,
// DecryptFile and DecryptFileStream. Half the inputs carry the right key check digest, so the
// cipher text behind it is reached as well as the header check. The three must agree with each
// other and with the buffer transform, and a refusal must leave no output file and the caller's
// length alone.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_files.h"
#include "fuzz_input.h"
#include "vantry/file_error.h"
#include "vantry/machine_key.h"
#include "vantry/rijndael_cipher.h"
#include "vantry/vantry.h"

using vantry::fuzz::Check;
using vantry::fuzz::FuzzInput;

namespace {

const char kKeyText[] = "fuzzing key text, any 32 bytes!!";

// Keyed as the entry points key: the key text in a 32-byte buffer, AES-128, ECB, zero padding.
void KeyAsEntryPoints(vantry::CRijndaelCipher& cipher) {
  unsigned char buffer[vantry::kVantryKeyBufferSize] = {};
  std::memcpy(buffer, kKeyText, sizeof buffer);
  cipher.SetKey(buffer, vantry::kVantryKeyBufferSize, vantry::kVantryChainBlock,
                vantry::kVantryKeyLength, vantry::kVantryBlockSize, vantry::MODE_ECB,
                vantry::PAD_ZERO);
}

// Runs f; true when it returned, false when it raised one of the library's failures.
template <class F>
bool Succeeds(F f) {
  try {
    f();
  } catch (const vantry::FileError&) {
    return false;
  } catch (const std::runtime_error&) {
    return false;
  }
  return true;
}

bool Exists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::exists(name, ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  vantry::CRijndaelCipher cipher;
  KeyAsEntryPoints(cipher);
  std::vector<std::uint8_t> file;
  if (in.Byte() < 128) {
    file.resize(32);
    cipher.GetKeyDigest(file.data());
  }
  const std::vector<std::uint8_t> body = in.Rest();
  file.insert(file.end(), body.begin(), body.end());

  const auto& folder = vantry::fuzz::FuzzFolder::Get();
  const std::string input = folder.File("input");
  const std::string plain = folder.File("plain");
  const std::string streamed = folder.File("streamed");
  std::filesystem::remove(plain);
  std::filesystem::remove(streamed);
  vantry::fuzz::WriteBytes(input, file);

  std::int32_t length = -7;
  unsigned char* loaded = nullptr;
  const bool loads =
      Succeeds([&] { loaded = LoadVantryWithKey2(input.c_str(), &length, kKeyText); });
  const bool decrypts = Succeeds([&] { cipher.DecryptFile(input, plain); });
  const bool streams = Succeeds([&] { cipher.DecryptFileStream(input, streamed); });
  Check(loads == decrypts && decrypts == streams,
        "the readers disagree on whether the file is good");

  unsigned char digest[32];
  cipher.GetKeyDigest(digest);
  const bool good = file.size() >= 32 && std::memcmp(file.data(), digest, 32) == 0 &&
                    (file.size() - 32) % 16 == 0;
  // A file shorter than the header is refused even where its bytes, zero-filled, would match.
  Check(loads == good, "a file was judged against its header and size wrongly");

  if (!loads) {
    Check(loaded == nullptr, "a failed load handed out a buffer");
    Check(length == -7, "a failed load changed the caller's length");
    Check(!Exists(plain), "a failed DecryptFile left an output");
    Check(!Exists(streamed), "a failed DecryptFileStream left an output");
    return 0;
  }
  const std::size_t s = file.size();
  Check(length == static_cast<std::int32_t>(s), "the loaded length is not the file's size");
  std::vector<std::uint8_t> expected(s, 0);
  if (s > 32) {
    vantry::CRijndaelCipher reference;
    KeyAsEntryPoints(reference);
    reference.Decrypt(file.data() + 32, expected.data(), s - 32);
  }
  Check(std::memcmp(loaded, expected.data(), s) == 0,
        "the load differs from the buffer transform and 32 zero bytes");
  FreeVantryBuffer(loaded);
  Check(vantry::fuzz::ReadBytes(plain) == expected, "DecryptFile differs from the load");
  expected.resize(s >= 32 ? s - 32 : 0);
  Check(vantry::fuzz::ReadBytes(streamed) == expected, "DecryptFileStream differs from the load");
  return 0;
}
