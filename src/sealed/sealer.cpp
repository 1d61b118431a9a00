#include "sealed/sealer.h"

#include <algorithm>
#include <cstring>

#include "platform/secure_wipe.h"
#include "sealed/segment_pipeline.h"
#include "sealed/slot_header.h"

namespace vantry::sealed {
namespace sc = platform::sealing;

Sealer::Sealer(const SealedKey& key, ByteWriter& output, const FixedRandomness* fixed)
    : m_output(output), m_buffer(kChunkSize) {
  Header header;
  header.kind = key.kind();
  if (fixed != nullptr) {
    std::memcpy(header.salt, fixed->salt, kSaltSize);
    std::memcpy(header.prefix, fixed->prefix, kPrefixSize);
  } else {
    sc::RandomBytes(header.salt, kSaltSize);
    sc::RandomBytes(header.prefix, kPrefixSize);
  }
  FileKeys keys;
  {
    platform::SecretArray<32> material;
    KeyMaterial(key, header, true, std::string(), material.data());
    DeriveFileKeys(material.data(), header.salt, keys);
  }
  std::memcpy(header.keyCheck, keys.check, kCheckSize);
  std::vector<unsigned char> bytes = EncodeHeaderBody(header);
  SealHeader(bytes, keys.mac);
  Start(bytes, keys.payload, header.prefix);
}

Sealer::Sealer(const std::vector<SealedKey>& keys, ByteWriter& output)
    : m_output(output), m_buffer(kChunkSize) {
  SlotHeader header;
  FileKey fileKey;
  sc::RandomBytes(fileKey.bytes, sizeof fileKey.bytes);
  sc::RandomBytes(header.salt, kSaltSize);
  sc::RandomBytes(header.prefix, kPrefixSize);
  header.slots = MakeSlots(WithRecoveryRecipients(keys), header, fileKey);
  platform::SecretArray<sc::kKeySize> payloadKey;  // wiped however the start ends
  const std::vector<unsigned char> bytes = EncodeSlotHeader(header, fileKey, payloadKey.data());
  Start(bytes, payloadKey.data(), header.prefix);
}

void Sealer::Start(const std::vector<unsigned char>& header,
                   const unsigned char payloadKey[sc::kKeySize],
                   const unsigned char prefix[kPrefixSize]) {
  std::memcpy(m_prefix, prefix, kPrefixSize);
  m_aead.reset(new sc::AesGcm(payloadKey));
  m_output.Write(header.data(), header.size());
}

Sealer::~Sealer() { platform::SecureWipe(m_buffer.data(), m_buffer.size()); }

void Sealer::Write(const void* data, std::size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  while (n > 0) {
    // A full segment is sealed only when more data shows it is not the last.
    if (m_held == kSegmentSize) {
      SealSegment(false);
    }
    const std::size_t take = std::min(n, kSegmentSize - m_held);
    std::memcpy(m_buffer.data() + m_held, p, take);
    m_held += take;
    p += take;
    n -= take;
  }
}

void Sealer::SealAllOf(ByteReader& input) {
  PipePieces(input, kSegmentSize, kChunkSize, m_output,
             [this](const unsigned char* in, std::size_t n, std::uint64_t index, bool last,
                    unsigned char* out) {
               SealChunk(in, n, index, last, out);
               return n + kTagSize;
             });
  m_finished = true;
}

void Sealer::Finish() {
  if (!m_finished) {
    SealSegment(true);
    m_finished = true;
  }
}

void Sealer::SealChunk(const unsigned char* in, std::size_t n, std::uint64_t index, bool last,
                       unsigned char* out) {
  // The counter is 32 bits: 2^32 segments of 64 KiB (256 TiB) is the most one file holds.
  if (index > 0xFFFFFFFFu) {
    throw SealedError(SealedError::Kind::kInvalidKey,
                      "a sealed file holds at most 2^32 segments (256 TiB)");
  }
  unsigned char nonce[sc::kNonceSize];
  SegmentNonce(m_prefix, static_cast<std::uint32_t>(index), last, nonce);
  m_aead->Seal(nonce, in, n, out, out + n);
}

void Sealer::SealSegment(bool last) {
  unsigned char* b = m_buffer.data();
  SealChunk(b, m_held, m_index, last, b);
  m_output.Write(b, m_held + kTagSize);
  m_held = 0;
  ++m_index;
}

namespace {

void Pump(Sealer& sealer, ByteReader& input) { sealer.SealAllOf(input); }

}  // namespace

void SealStreamWith(const SealedKey& key, ByteReader& input, ByteWriter& output,
                    const FixedRandomness* fixed) {
  Sealer sealer(key, output, fixed);
  Pump(sealer, input);
}

void SealStreamWith(const std::vector<SealedKey>& keys, ByteReader& input, ByteWriter& output) {
  Sealer sealer(keys, output);
  Pump(sealer, input);
}

}  // namespace vantry::sealed

namespace vantry {

void SealStream(const SealedKey& key, ByteReader& input, ByteWriter& output) {
  sealed::SealStreamWith(std::vector<SealedKey>{key}, input, output);
}

struct SealingWriter::State {
  State(const std::vector<SealedKey>& keys, ByteWriter& out) : output(out), sealer(keys, out) {}
  ByteWriter& output;
  sealed::Sealer sealer;
};

SealingWriter::SealingWriter(const SealedKey& key, ByteWriter& output)
    : m_state(new State(std::vector<SealedKey>{key}, output)) {}

SealingWriter::SealingWriter(const std::vector<SealedKey>& keys, ByteWriter& output)
    : m_state(new State(keys, output)) {}

SealingWriter::~SealingWriter() { delete m_state; }

void SealingWriter::Write(const void* data, std::size_t n) { m_state->sealer.Write(data, n); }

void SealingWriter::Commit() {
  m_state->sealer.Finish();
  m_state->output.Commit();
}

}  // namespace vantry
