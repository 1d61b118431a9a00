// CRijndaelCipher under arbitrary SetKey arguments and data: a refused keying changes nothing,
// Decrypt undoes Encrypt in every mode, in place and out of place, and cutting the data into two
// calls gives the cipher text of one (the chain carries over).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "fuzz_input.h"
#include "vantry/rijndael_cipher.h"

using vantry::CRijndaelCipher;
using vantry::fuzz::Check;
using vantry::fuzz::FuzzInput;

namespace {

// Mostly a legal value, sometimes any 32-bit one.
std::int32_t Choose(FuzzInput& in, std::initializer_list<std::int32_t> legal) {
  const std::uint8_t pick = in.Byte();
  if (pick < 240) {
    return *(legal.begin() + pick % legal.size());
  }
  return in.I32();
}

bool Keys(CRijndaelCipher& c, const std::vector<std::uint8_t>& key, std::int32_t keyDataLength,
          const unsigned char* chain, std::int32_t keyLength, std::int32_t blockSize,
          std::int32_t mode, std::int32_t padding) {
  try {
    c.SetKey(key.empty() ? nullptr : key.data(), keyDataLength, chain, keyLength, blockSize, mode,
             padding);
  } catch (const std::runtime_error&) {
    return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::int32_t keyLength = Choose(in, {16, 24, 32});
  const std::int32_t blockSize = Choose(in, {16, 24, 32});
  const std::int32_t mode = Choose(in, {0, 1, 2});
  const std::int32_t padding = Choose(in, {0, 1, 2});
  const std::vector<std::uint8_t> key = in.Take(1 + in.Byte() % 40);
  // The key data length never claims more bytes than there are; zero and negative ones must be
  // refused.
  const std::uint8_t lengthPick = in.Byte();
  const std::int32_t keyDataLength = lengthPick < 240
                                         ? static_cast<std::int32_t>(key.size()) - lengthPick % 2
                                         : -static_cast<std::int32_t>(lengthPick);
  const bool nullChain = in.Byte() < 32;
  std::vector<std::uint8_t> chain = in.Take(32);
  chain.resize(32, 0);
  std::vector<std::uint8_t> plain = in.Rest();

  // A keying the object holds before the fuzzed one: a refused SetKey must leave it in force.
  static const unsigned char kFirstKey[16] = {1, 2,  3,  4,  5,  6,  7,  8,
                                              9, 10, 11, 12, 13, 14, 15, 16};
  CRijndaelCipher cipher;
  cipher.SetKey(kFirstKey, 16, nullptr, 16, 16, vantry::MODE_CBC, vantry::PAD_ZERO);
  unsigned char before[32];
  cipher.GetKeyDigest(before);
  const bool legal = !key.empty() && keyDataLength >= 1 &&
                     (keyLength == 16 || keyLength == 24 || keyLength == 32) &&
                     (blockSize == 16 || blockSize == 24 || blockSize == 32) && mode >= 0 &&
                     mode <= 2 && padding >= 0 && padding <= 2;
  const bool keyed = Keys(cipher, key, keyDataLength, nullChain ? nullptr : chain.data(), keyLength,
                          blockSize, mode, padding);
  Check(keyed == legal, "SetKey accepted illegal or refused legal arguments");
  if (!keyed) {
    unsigned char after[32];
    cipher.GetKeyDigest(after);
    Check(std::memcmp(before, after, 32) == 0, "a refused SetKey changed the key");
    return 0;
  }

  // PadData up to the block size, with the room it asks for.
  const std::size_t bs = static_cast<std::size_t>(blockSize);
  const std::size_t plainSize = plain.size();
  plain.resize(plainSize + bs, 0xEE);
  const std::int32_t padded = cipher.PadData(plain.data(), static_cast<std::int32_t>(plainSize));
  Check(padded >= static_cast<std::int32_t>(plainSize) && padded % blockSize == 0 &&
            padded - static_cast<std::int32_t>(plainSize) < blockSize,
        "PadData gave a length that is not the next multiple of the block");
  plain.resize(static_cast<std::size_t>(padded));
  if (padded == 0) {
    bool refused = false;
    try {
      cipher.Encrypt(plain.data(), plain.data(), 0);
    } catch (const std::runtime_error&) {
      refused = true;
    }
    Check(refused, "Encrypt of nothing was accepted");
    return 0;
  }

  std::vector<std::uint8_t> whole(plain.size());
  cipher.ResetChainBlock();
  cipher.Encrypt(plain.data(), whole.data(), whole.size());

  // Two calls, cut at a block boundary, in place.
  std::vector<std::uint8_t> split = plain;
  const std::size_t blocks = split.size() / bs;
  const std::size_t cut = bs * (blocks > 1 ? 1 + plainSize % (blocks - 1) : 0);
  cipher.ResetChainBlock();
  if (cut > 0) {
    cipher.Encrypt(split.data(), split.data(), cut);
  }
  cipher.Encrypt(split.data() + cut, split.data() + cut, split.size() - cut);
  Check(split == whole, "cipher text depends on how the data was cut");

  std::vector<std::uint8_t> back(whole.size());
  cipher.ResetChainBlock();
  cipher.Decrypt(whole.data(), back.data(), back.size());
  Check(back == plain, "Decrypt does not undo Encrypt");

  // A length that is not a whole number of blocks is refused.
  if (bs > 1 && whole.size() > 1) {
    bool refused = false;
    try {
      cipher.Decrypt(whole.data(), back.data(), whole.size() - 1);
    } catch (const std::runtime_error& e) {
      refused = std::strcmp(e.what(), "Illegal Block Size!") == 0;
    }
    Check(refused, "a partial block was not refused with \"Illegal Block Size!\"");
  }
  return 0;
}
