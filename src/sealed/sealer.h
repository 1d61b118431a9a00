// Sealing as a push: the header goes out when the Sealer is made, each full segment as soon as
// more data shows it is not the last, and the last (short, full, or empty only for empty data)
// at Finish. At most one segment is held, so memory is fixed. Or as a pull (SealAllOf): three
// runs of segments at most (segment_pipeline.h), also fixed.
#ifndef VANTRY_SEALED_SEALER_H_
#define VANTRY_SEALED_SEALER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/sealing_crypto.h"
#include "sealed/sealed_format.h"
#include "vantry/byte_io.h"
#include "vantry/sealed.h"

namespace vantry::sealed {

// The random salt and nonce prefix given instead (known-answer vectors).
struct FixedRandomness {
  const unsigned char* salt;    // kSaltSize bytes
  const unsigned char* prefix;  // kPrefixSize bytes
};

class Sealer {
 public:
  // A version-1 file under one key (kept for the known-answer files of that version).
  Sealer(const SealedKey& key, ByteWriter& output, const FixedRandomness* fixed = nullptr);
  // A version-2 file with one slot for each key, under a fresh file key.
  Sealer(const std::vector<SealedKey>& keys, ByteWriter& output);
  ~Sealer();
  Sealer(const Sealer&) = delete;
  Sealer& operator=(const Sealer&) = delete;

  void Write(const void* data, std::size_t n);
  // Seals everything input holds as the whole payload, the last segment included, each run of
  // segments sealed on a second thread while the next is read (segment_pipeline.h). Only on a
  // Sealer nothing was written to. Does not commit output.
  void SealAllOf(ByteReader& input);
  // Seals the last segment. Does not commit output.
  void Finish();

 private:
  void Start(const std::vector<unsigned char>& header,
             const unsigned char payloadKey[platform::sealing::kKeySize],
             const unsigned char prefix[kPrefixSize]);
  void SealSegment(bool last);
  // Seals n bytes as segment index into out (n bytes and the tag); in and out may be the same.
  void SealChunk(const unsigned char* in, std::size_t n, std::uint64_t index, bool last,
                 unsigned char* out);

  ByteWriter& m_output;
  std::unique_ptr<platform::sealing::AesGcm> m_aead;
  unsigned char m_prefix[kPrefixSize];
  std::vector<unsigned char> m_buffer;  // kChunkSize: plain text, then cipher text and tag
  std::size_t m_held = 0;
  std::uint64_t m_index = 0;
  bool m_finished = false;
};

// Seals everything input holds: as version 1 under key, or as version 2 with a slot for each
// of keys.
void SealStreamWith(const SealedKey& key, ByteReader& input, ByteWriter& output,
                    const FixedRandomness* fixed);
void SealStreamWith(const std::vector<SealedKey>& keys, ByteReader& input, ByteWriter& output);

}  // namespace vantry::sealed

#endif  // VANTRY_SEALED_SEALER_H_
