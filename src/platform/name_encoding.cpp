#include "platform/name_encoding.h"

namespace vantry::platform {
namespace {

// Trivially constructed and destroyed, so no code runs when a thread starts or ends, or when
// the library is loaded.
thread_local NameEncoding t_nameEncoding = NameEncoding::kAnsiCodePage;

}  // namespace

NameEncoding CurrentNameEncoding() noexcept { return t_nameEncoding; }

ScopedNameEncoding::ScopedNameEncoding(NameEncoding encoding) noexcept
    : m_previous(t_nameEncoding) {
  t_nameEncoding = encoding;
}

ScopedNameEncoding::~ScopedNameEncoding() { t_nameEncoding = m_previous; }

}  // namespace vantry::platform
