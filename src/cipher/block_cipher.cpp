#include "vantry/block_cipher.h"

namespace vantry {

// Defined out of line so the dispatch table has one home; the interface owns nothing to free.
CBlockCipher::~CBlockCipher() = default;

}  // namespace vantry
