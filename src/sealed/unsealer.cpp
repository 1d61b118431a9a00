// Unsealing: the header is parsed and authenticated in full before the payload is touched, and
// each segment's plain text is passed on only after its tag verified.
#include "sealed/unsealer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/sealing_crypto.h"
#include "platform/secure_wipe.h"
#include "sealed/armor.h"
#include "sealed/sealed_format.h"
#include "sealed/segment_pipeline.h"
#include "sealed/slot_header.h"
#include "vantry/sealed.h"

namespace vantry {
namespace {
namespace sc = platform::sealing;
using sealed::kChunkSize;
using sealed::kTagSize;
using Kind = SealedError::Kind;

// Reads and authenticates a version-2 header whose first bytes are read; returns its size,
// fills prefix and the payload key.
std::size_t ReadSlotHeader(const std::vector<const SealedKey*>& keys, ByteReader& input,
                           std::vector<unsigned char>& bytes, const std::string& name,
                           unsigned char prefix[sealed::kPrefixSize],
                           unsigned char payloadKey[sc::kKeySize]) {
  sealed::SlotHeader header = sealed::ParseSlotHeader(input, bytes, name);
  sealed::FileKey fileKey;
  sealed::OpenSlotHeader(keys, header, bytes, name, fileKey);
  sealed::FileKeys fileKeys;
  sealed::DeriveFileKeys(fileKey.bytes, header.salt, fileKeys, sealed::kSlotVersion);
  std::memcpy(payloadKey, fileKeys.payload, sc::kKeySize);
  std::memcpy(prefix, header.prefix, sealed::kPrefixSize);
  return bytes.size();
}

// Checks the key kind of a version-1 header and the parameter length the kind must have;
// returns the size of the whole header.
std::size_t CheckFixedPart(const std::vector<unsigned char>& bytes, const std::string& name) {
  const int known = sealed::ParameterSize(bytes[9]);
  if (known == -1) {
    throw SealedError(Kind::kUnsupportedVersion,
                      name + " uses key kind " + std::to_string(bytes[9]) +
                          ", which this version of Vantry does not know");
  }
  const std::uint32_t stated = sealed::ReadBigEndian(&bytes[10], 2);
  const bool fits = known == sealed::kVariableSize ? stated >= 1 && stated <= sealed::kMaxBlobSize
                                                   : stated == static_cast<std::uint32_t>(known);
  if (!fits) {
    throw SealedError(Kind::kDamaged, name + " is damaged: its header's parameter length is wrong",
                      -1, 0);
  }
  return sealed::kFixedSize + static_cast<std::size_t>(stated) + sealed::kTrailerSize;
}

// Reads the fields of a header whose fixed part passed: the kind's parameters, the salt and
// the nonce prefix. Returns where the key check is.
const unsigned char* ReadFields(const std::vector<unsigned char>& bytes, sealed::Header* header,
                                unsigned char prefix[sealed::kPrefixSize]) {
  const std::size_t parameterSize = sealed::ReadBigEndian(&bytes[10], 2);
  header->kind = static_cast<SealedKeyKind>(bytes[9]);
  const unsigned char* p = bytes.data() + sealed::kFixedSize;
  if (header->kind == SealedKeyKind::kPassphrase) {
    header->iterations = sealed::ReadBigEndian(p, 4);
  } else if (sealed::ParameterSize(bytes[9]) == sealed::kVariableSize) {
    header->blob.assign(p, p + parameterSize);
  } else if (header->kind != SealedKeyKind::kRawKey) {
    std::memcpy(header->secretId, p, sealed::kSecretIdSize);
  }
  p += parameterSize;
  std::memcpy(header->salt, p, sealed::kSaltSize);
  p += sealed::kSaltSize;
  std::memcpy(prefix, p, sealed::kPrefixSize);
  return p + sealed::kPrefixSize;
}

// Derives the file's keys from key, compares the key check and the header's MAC, and hands
// out the payload key.
void Authenticate(const SealedKey& key, sealed::Header& header,
                  const std::vector<unsigned char>& bytes, const unsigned char* keyCheck,
                  const std::string& name, unsigned char payloadKey[sc::kKeySize]) {
  sealed::FileKeys keys;
  {
    platform::SecretArray<32> material;
    sealed::KeyMaterial(key, header, false, name, material.data());
    sealed::DeriveFileKeys(material.data(), header.salt, keys);
  }
  if (!platform::EqualInConstantTime(keys.check, keyCheck, sealed::kCheckSize)) {
    throw SealedError(Kind::kWrongKey, header.kind == SealedKeyKind::kPassphrase
                                           ? "the passphrase does not match " + name
                                           : "the key does not match " + name);
  }
  const std::size_t size = bytes.size();
  unsigned char mac[sc::kDigestSize];
  sc::HmacSha256(keys.mac, bytes.data(), size - sealed::kMacSize, mac);
  if (!platform::EqualInConstantTime(mac, bytes.data() + size - sealed::kMacSize,
                                     sealed::kMacSize)) {
    throw SealedError(Kind::kDamaged, name + " is damaged: its header does not authenticate", -1,
                      0);
  }
  std::memcpy(payloadKey, keys.payload, sc::kKeySize);
}

// Reads and authenticates the header; returns its size, fills prefix and the payload key.
std::size_t ReadHeader(const std::vector<const SealedKey*>& given, ByteReader& input,
                       const std::string& name, unsigned char prefix[sealed::kPrefixSize],
                       unsigned char payloadKey[sc::kKeySize]) {
  std::vector<unsigned char> bytes = sealed::ReadHeaderStart(input, name);
  if (bytes[8] == sealed::kSlotVersion) {
    return ReadSlotHeader(given, input, bytes, name, prefix, payloadKey);
  }
  const SealedKey& key = sealed::KeyOfKind(given, bytes[9]);
  const std::size_t size = CheckFixedPart(bytes, name);
  bytes.resize(size);
  if (input.ReadFull(bytes.data() + sealed::kFixedSize, size - sealed::kFixedSize) !=
      size - sealed::kFixedSize) {
    throw SealedError(Kind::kTruncated, name + " is truncated: it ends inside its header");
  }
  // The keyless digest tells accidental damage from a wrong key: without it a changed salt
  // would read as a wrong key.
  const std::size_t bodySize = size - sealed::kDigestSize - sealed::kMacSize;
  unsigned char digest[sc::kDigestSize];
  sc::Sha256(bytes.data(), bodySize, digest);
  if (std::memcmp(digest, bytes.data() + bodySize, sealed::kDigestSize) != 0) {
    throw SealedError(Kind::kDamaged, name + " is damaged: its header does not match its check", -1,
                      0);
  }
  sealed::Header header;
  const unsigned char* keyCheck = ReadFields(bytes, &header, prefix);
  Authenticate(key, header, bytes, keyCheck, name, payloadKey);
  return size;
}

[[noreturn]] void Damaged(const std::string& name, std::uint64_t index, std::uint64_t offset) {
  throw SealedError(Kind::kDamaged,
                    name + " is damaged at segment " + std::to_string(index + 1) +
                        ", byte offset " + std::to_string(offset),
                    static_cast<std::int64_t>(index + 1), static_cast<std::int64_t>(offset));
}

// A last segment shorter than a whole one that does not authenticate: the file was cut inside
// a segment, or that segment was changed; nothing tells the two apart.
[[noreturn]] void CutOrDamaged(const std::string& name, std::uint64_t index, std::uint64_t offset) {
  throw SealedError(Kind::kDamaged,
                    name + " is cut short or damaged at segment " + std::to_string(index + 1) +
                        ", byte offset " + std::to_string(offset) +
                        ": its last segment does not authenticate (the copy was cut short, or "
                        "changed)",
                    static_cast<std::int64_t>(index + 1), static_cast<std::int64_t>(offset));
}

// Opens the segments of one file: each chunk (a segment's cipher text and tag) read, with
// whether it is the last, into plain text. A failure is classified by what still authenticates:
// a last segment that opens as a middle one means the file was cut at a segment boundary, a
// middle one that opens as the last means data was appended.
struct SegmentOpener {
  sc::AesGcm& aead;
  const unsigned char* prefix;
  const std::string& name;
  std::uint64_t headerSize;

  void Open(const unsigned char* chunk, std::size_t have, std::uint64_t index, bool last,
            unsigned char* plain) const {
    const std::uint64_t offset = headerSize + index * kChunkSize;
    if (index > 0xFFFFFFFFu) {
      Damaged(name, index, offset);
    }
    const auto counter = static_cast<std::uint32_t>(index);
    if (have < kTagSize) {
      if (have == 0 && index == 0) {
        throw SealedError(Kind::kTruncated, name + " is truncated: it ends after its header");
      }
      CutOrDamaged(name, index, offset);
    }
    const std::size_t plainSize = have - kTagSize;
    unsigned char nonce[sc::kNonceSize];
    sealed::SegmentNonce(prefix, counter, last, nonce);
    if (!aead.Open(nonce, chunk, plainSize, chunk + plainSize, plain)) {
      // What the segment opens as instead says what happened to the file.
      sealed::SegmentNonce(prefix, counter, !last, nonce);
      const bool opensOtherwise = (last ? have == kChunkSize : true) &&
                                  aead.Open(nonce, chunk, plainSize, chunk + plainSize, plain);
      if (opensOtherwise) {
        platform::SecureWipe(plain, plainSize);
      }
      if (opensOtherwise && last) {
        throw SealedError(Kind::kTruncated, name + " is truncated: it ends after segment " +
                                                std::to_string(index + 1) +
                                                ", before its last segment");
      }
      if (opensOtherwise) {
        throw SealedError(Kind::kDamaged,
                          name + " is damaged: data follows its last segment at byte offset " +
                              std::to_string(offset + have),
                          static_cast<std::int64_t>(index + 2),
                          static_cast<std::int64_t>(offset + have));
      }
      if (last && have < kChunkSize) {
        CutOrDamaged(name, index, offset);
      }
      Damaged(name, index, offset);
    }
    // Only empty data has an empty last segment; any other is not what a sealer writes.
    if (last && plainSize == 0 && index > 0) {
      Damaged(name, index, offset);
    }
  }
};

}  // namespace

namespace sealed {

void UnsealStreamWith(const std::vector<const SealedKey*>& keys, ByteReader& input,
                      const std::string& inputName, ByteWriter& output) {
  SealedInput binary(input, inputName);
  UnsealBinaryWith(keys, binary, inputName, output);
}

void UnsealBinaryWith(const std::vector<const SealedKey*>& keys, ByteReader& input,
                      const std::string& inputName, ByteWriter& output) {
  unsigned char prefix[sealed::kPrefixSize];
  std::uint64_t headerSize = 0;
  std::unique_ptr<sc::AesGcm> aead;
  {
    platform::SecretArray<sc::kKeySize> payloadKey;  // wiped however the header ends
    headerSize = ReadHeader(keys, input, inputName, prefix, payloadKey.data());
    aead.reset(new sc::AesGcm(payloadKey.data()));
  }
  const SegmentOpener opener{*aead, prefix, inputName, headerSize};
  sealed::PipePieces(input, kChunkSize, sealed::kSegmentSize, output,
                     [&opener](const unsigned char* chunk, std::size_t have, std::uint64_t index,
                               bool last, unsigned char* plain) {
                       opener.Open(chunk, have, index, last, plain);
                       return have - kTagSize;
                     });
}

}  // namespace sealed

void UnsealStream(const SealedKey& key, ByteReader& input, const std::string& inputName,
                  ByteWriter& output) {
  sealed::UnsealStreamWith({&key}, input, inputName, output);
}

bool LooksSealed(const void* firstBytes, std::size_t size) noexcept {
  const std::size_t beginSize = sizeof sealed::kArmorBegin - 1;
  return firstBytes != nullptr &&
         ((size >= sizeof sealed::kMagic &&
           std::memcmp(firstBytes, sealed::kMagic, sizeof sealed::kMagic) == 0) ||
          (size >= beginSize && std::memcmp(firstBytes, sealed::kArmorBegin, beginSize) == 0));
}

}  // namespace vantry
