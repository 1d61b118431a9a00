#include "platform/windows/wide_name.h"

namespace vantry::platform::windows {
namespace {

std::string FromWide(UINT codePage, const std::wstring& wide) {
  if (wide.empty()) {
    return std::string();
  }
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) {
    return std::string();
  }
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), size, &text[0], length, nullptr, nullptr);
  return text;
}

}  // namespace

bool ToWideIn(NameEncoding encoding, const std::string& name, std::wstring* wide, DWORD* error) {
  wide->clear();
  if (name.empty()) {
    return true;
  }
  // The A functions map every byte of the ANSI code page, undefined ones included; UTF-8 that
  // is not UTF-8 is refused rather than turned into a name nobody asked for.
  const UINT codePage = encoding == NameEncoding::kUtf8 ? CP_UTF8 : CP_ACP;
  const DWORD flags = encoding == NameEncoding::kUtf8 ? MB_ERR_INVALID_CHARS : 0;
  const int size = static_cast<int>(name.size());
  const int length = MultiByteToWideChar(codePage, flags, name.data(), size, nullptr, 0);
  if (length <= 0) {
    *error = ERROR_NO_UNICODE_TRANSLATION;
    return false;
  }
  wide->resize(static_cast<std::size_t>(length));
  MultiByteToWideChar(codePage, flags, name.data(), size, &(*wide)[0], length);
  return true;
}

bool ToWide(const std::string& name, std::wstring* wide, DWORD* error) {
  return ToWideIn(CurrentNameEncoding(), name, wide, error);
}

std::string ToUtf8(const std::wstring& wide) { return FromWide(CP_UTF8, wide); }

std::string ToCurrentEncoding(const std::wstring& wide) {
  return FromWide(CurrentNameEncoding() == NameEncoding::kUtf8 ? CP_UTF8 : CP_ACP, wide);
}

std::wstring WideOrThrow(const std::string& name, FileError::Cause cause) {
  std::wstring wide;
  DWORD error = NO_ERROR;
  if (!ToWide(name, &wide, &error)) {
    ThrowFileError(cause, name, error);
  }
  return wide;
}

}  // namespace vantry::platform::windows
