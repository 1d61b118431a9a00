// The commands of the tool. save, load, encrypt and decrypt are one stream through the
// library: INPUT through the library's reader, the cipher in fixed pieces, OUTPUT through the
// library's writer, which replaces a named file only once all of it is written. Nothing is
// staged in scratch files. save and load key the cipher as the entry points key theirs, so
// they write and read the very files of SaveVantryWithKey2 and LoadVantryWithKey2.
#include "commands.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "console.h"
#include "key_source.h"
#include "operands.h"
#include "progress.h"
#include "secret.h"
#include "vantry/cipher_error.h"
#include "vantry/keying.h"
#include "vantry/rijndael_cipher.h"
#include "vantry/streams.h"

namespace vantry::tool {
namespace {

constexpr std::size_t kDigestSize = 32;
// The library's load returns the decrypted bytes and then this many zero bytes.
constexpr std::size_t kLoadTrailer = 32;
// --in-memory holds the whole INPUT in one block whose size is a signed 32-bit count, as the
// library's memory operations do.
constexpr std::size_t kMaxInMemory =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
}  // namespace

// Keys cipher from the options and the key through the library's one keying: a key text as
// the entry points take it, raw key data as it is.
void KeyCipherForOptions(CRijndaelCipher& cipher, const Options& options, const ObtainedKey& key) {
  KeyParameters parameters;
  parameters.keyLength = options.keySize;
  parameters.blockSize = options.blockSize;
  parameters.mode = options.mode;
  parameters.padding = options.padding;
  if (options.iv) {
    parameters.chainBlock = options.iv->data();
  }
  if (key.rawData) {
    vantry::KeyCipher(cipher, vantry::KeySource::kRawBytes, key.bytes.data(), key.bytes.size(),
                      parameters);
    return;
  }
  std::string machineText;
  if (key.machineKey) {
    machineText = MachineKeyText();
  }
  const std::string& text = key.machineKey ? machineText : key.text;
  vantry::KeyCipher(cipher, vantry::KeySource::kText, text.data(), text.size(), parameters);
  WipeString(machineText);
}

namespace {

// A stop signal ends the run at the next read or write: the output is then abandoned, which
// leaves an earlier file as it was. Reads stop through StopCheckingReader (console.h).
class WatchedWriter : public ByteWriter {
 public:
  explicit WatchedWriter(ByteWriter& inner) : m_inner(inner) {}
  void Write(const void* data, std::size_t n) override {
    StopIfSignalled();
    m_inner.Write(data, n);
  }
  void Commit() override {
    StopIfSignalled();
    m_inner.Commit();
  }

 private:
  ByteWriter& m_inner;
};

// --strip: zero bytes are held back until a byte that is not zero follows them, and those
// still held at the end are dropped. Memory stays fixed however long the run of zeros.
class StrippingWriter : public ByteWriter {
 public:
  explicit StrippingWriter(ByteWriter& inner) : m_inner(inner) {}
  void Write(const void* data, std::size_t n) override {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t end = n;
    while (end > 0 && bytes[end - 1] == 0) {
      --end;
    }
    if (end > 0) {
      static const unsigned char kZeros[4096] = {};
      for (; m_heldZeros > 0;) {
        const std::size_t part =
            m_heldZeros < sizeof kZeros ? static_cast<std::size_t>(m_heldZeros) : sizeof kZeros;
        m_inner.Write(kZeros, part);
        m_heldZeros -= part;
      }
      m_inner.Write(bytes, end);
    }
    m_heldZeros += n - end;
  }
  void Commit() override { m_inner.Commit(); }

 private:
  ByteWriter& m_inner;
  std::uint64_t m_heldZeros = 0;
};

void ReadWhole(ByteReader& input, const std::string& operand, SecretBuffer* whole) {
  for (;;) {
    constexpr std::size_t kStep = 1 << 20;
    const std::size_t got = input.ReadSome(whole->Reserve(kStep), kStep);
    if (got == 0) {
      return;
    }
    whole->Grow(got);
    if (whole->size() > kMaxInMemory) {
      throw std::runtime_error(OperandName(operand) +
                               " is too large to hold in memory: at most 2147483647 bytes");
    }
  }
}

enum class Direction { kEncrypt, kDecrypt };

int RunStream(const Options& options, Direction direction) {
  const std::string& input = options.operands[0];
  const std::string& output = options.operands[1];
  const bool encrypt = direction == Direction::kEncrypt;
  CheckOutput(output, options.force);
  CheckDistinct(input, output);
  CheckReplaceable(output, options.inPlace);
  ObtainedKey key;
  ObtainKey(options.key, encrypt, EffectiveKeyLength(options), &key);
  CRijndaelCipher cipher;
  KeyCipherForOptions(cipher, options, key);
  // What the library's load and DecryptFile return ends in 32 zero bytes.
  const bool trailer = !encrypt && (options.command == Command::kLoad || options.inMemory);
  const std::uint64_t inputSize = KnownSize(input);
  Progress progress(options.progress, inputSize, stderr);
  try {
    std::unique_ptr<ByteReader> opened = OpenInput(input);
    StopCheckingReader stopping(*opened);
    ProgressReader watchedInput(stopping, progress);
    ByteReader* source = &watchedInput;
    SecretBuffer whole;
    std::unique_ptr<ByteReader> wholeInput;
    if (options.inMemory) {
      ReadWhole(watchedInput, input, &whole);
      opened.reset();
      wholeInput = OpenMemoryReader(whole.data(), whole.size());
      source = wholeInput.get();
    }
    // The machine key is no secret from the users of this machine: its files are kept from
    // them as plain text is.
    const bool ownerOnly = !encrypt || key.machineKey;
    std::unique_ptr<ByteWriter> created = OpenOutput(
        output, ownerOnly ? OutputKind::kPlainText : OutputKind::kProtected, options.inPlace);
    WatchedWriter watchedOutput(*created);
    StrippingWriter stripping(watchedOutput);
    ByteWriter& sink = options.strip ? static_cast<ByteWriter&>(stripping) : watchedOutput;
    if (encrypt) {
      EncryptStream(cipher, *source, sink);
    } else {
      try {
        DecryptStream(cipher, *source, inputSize, PrintableName(input), sink);
      } catch (const CipherError& e) {
        if (e.kind() == CipherError::Kind::kIllegalBlockSize) {
          throw std::runtime_error("cannot decrypt " + OperandName(input) +
                                   ": the file is damaged or cut (its cipher text is not whole "
                                   "blocks: " +
                                   e.what() + ")");
        }
        if (e.kind() == CipherError::Kind::kWrongKey) {
          const bool chosen = options.command == Command::kDecrypt;
          throw std::runtime_error(
              "cannot decrypt " + OperandName(input) +
              ": the key does not match (or it is not a protected file, or " +
              (chosen ? "other --block-size, --key-size, --mode or --padding options protected it)"
                      : "encrypt protected it with other cipher options)"));
        }
        throw;
      }
      if (trailer) {
        const unsigned char zeros[kLoadTrailer] = {};
        sink.Write(zeros, sizeof zeros);
      }
    }
    sink.Commit();
    progress.Finish();
  } catch (const std::exception& e) {
    if (StopSignal() != 0) {
      ThrowInterrupted();
    }
    throw std::runtime_error(DescribeFailure(e));
  }
  return 0;
}

}  // namespace

void CheckDistinct(const std::string& input, const std::string& output) {
  if (input == "-" || output == "-") {
    return;
  }
  std::error_code error;
  if (std::filesystem::equivalent(input, output, error) && !error) {
    throw std::runtime_error(OperandName(input) + " is both INPUT and OUTPUT");
  }
}

int RunSave(const Options& options) { return RunStream(options, Direction::kEncrypt); }

int RunLoad(const Options& options) { return RunStream(options, Direction::kDecrypt); }

int RunEncrypt(const Options& options) { return RunStream(options, Direction::kEncrypt); }

int RunDecrypt(const Options& options) { return RunStream(options, Direction::kDecrypt); }

namespace {

// verify's answer: 0 the key matches, 1 it does not, or the check could not be made.
constexpr int kKeyMatches = 0;
constexpr int kKeyDiffers = 1;
constexpr int kCannotCheck = 2;

// At most the first n bytes of another reader: verify reads the header alone.
class FirstBytesReader : public ByteReader {
 public:
  FirstBytesReader(ByteReader& inner, std::size_t n) : m_inner(inner), m_left(n) {}
  std::size_t ReadSome(void* buffer, std::size_t n) override {
    const std::size_t got = m_inner.ReadSome(buffer, n < m_left ? n : m_left);
    m_left -= got;
    count += got;
    return got;
  }
  std::size_t count = 0;

 private:
  ByteReader& m_inner;
  std::size_t m_left;
};

int CheckKey(const Options& options, const std::string& file, ByteReader& input) {
  ObtainedKey key;
  ObtainKey(options.key, false, EffectiveKeyLength(options), &key);
  CRijndaelCipher cipher;
  KeyCipherForOptions(cipher, options, key);
  const std::string name = OperandName(file);
  // The library's own key check, on the header alone: what follows it is neither read nor
  // decrypted.
  bool differs = false;
  std::size_t got = 0;
  try {
    FirstBytesReader header(input, kDigestSize);
    CountingWriter none;
    try {
      DecryptStream(cipher, header, name, none);
    } catch (const CipherError& e) {
      if (e.kind() != CipherError::Kind::kWrongKey) {
        throw;
      }
      differs = true;
    }
    got = header.count;
  } catch (const std::exception& e) {
    throw std::runtime_error(DescribeFailure(e));
  }
  // Read to its end, a file shorter than a digest is surely no file of this key.
  if (got < kDigestSize) {
    std::fprintf(stderr, "vantry: error: %s is too short to be a protected file\n", name.c_str());
    return kKeyDiffers;
  }
  if (differs) {
    std::fprintf(stderr,
                 "vantry: error: %s was not protected with this key and these parameters, or is "
                 "no protected file (nor a sealed one)\n",
                 name.c_str());
    return kKeyDiffers;
  }
  std::printf("%s: the key matches\n", PrintableName(file).c_str());
  return FlushStandardOutput(kKeyMatches, kCannotCheck);
}

}  // namespace

int RunVerify(const Options& options, const std::string& file, ByteReader& input) {
  try {
    return CheckKey(options, file, input);
  } catch (const std::exception& e) {
    if (StopSignal() != 0) {
      throw;
    }
    std::fprintf(stderr, "vantry: error: %s\n", e.what());
    return kCannotCheck;
  }
}

int RunMachineKey() {
  const std::string key = MachineKeyText();
  std::printf("%s\n", key.c_str());
  return FlushStandardOutput(0);
}

}  // namespace vantry::tool
