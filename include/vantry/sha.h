// CSHA: SHA-256 (FIPS 180-2) over bytes fed in one or more pieces.
//
// Usage: AddData one or more times, then FinalDigest, which writes 32 bytes and makes the object
// ready for the next message. An empty message cannot be hashed: AddData refuses a length
// below 1 and FinalDigest refuses to run before any AddData. The destructor wipes the state.
#ifndef VANTRY_SHA_H_
#define VANTRY_SHA_H_

#include <cstdint>

#include "vantry/export.h"

namespace vantry {

class VANTRY_API CSHA {
 public:
  CSHA();
  ~CSHA();
  CSHA(const CSHA&) = delete;
  CSHA& operator=(const CSHA&) = delete;

  void AddData(const unsigned char* pData, std::int32_t iLen);
  void FinalDigest(unsigned char* pDigest);

 private:
  void Reset();
  void Compress();

  std::uint32_t m_auiState[8];
  std::uint32_t m_auiBitCount[2];  // [0] low 32 bits, [1] high 32 bits
  unsigned char m_aucBlock[64];
  bool m_bDataAdded;
};

}  // namespace vantry

#endif  // VANTRY_SHA_H_
