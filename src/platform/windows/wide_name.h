// File names between the library's narrow strings and the wide (UTF-16) Win32 functions.
//
// Every file call of the Windows layer goes through the W functions: the A functions read a
// name in the ANSI code page, which cannot spell most of the world's names and which cuts
// and compares multi-byte characters wrongly when code handles the bytes itself. A narrow
// name is read in the encoding its interface set for the call (platform/name_encoding.h):
// the ANSI code page for the six entry points, exactly as the A functions would read it, or
// UTF-8 for the C interface.
#ifndef VANTRY_PLATFORM_WINDOWS_WIDE_NAME_H_
#define VANTRY_PLATFORM_WINDOWS_WIDE_NAME_H_

#include <string>

#include "platform/name_encoding.h"
#include "platform/windows/win32.h"

namespace vantry::platform::windows {

// The wide form of name in the current encoding. False, with *error set to
// ERROR_NO_UNICODE_TRANSLATION, for bytes that are not UTF-8 when UTF-8 is expected (the ANSI
// code page maps every byte, as the A functions do).
bool ToWide(const std::string& name, std::wstring* wide, DWORD* error);
bool ToWideIn(NameEncoding encoding, const std::string& name, std::wstring* wide, DWORD* error);

// UTF-8 of a wide text; unpaired surrogates become U+FFFD.
std::string ToUtf8(const std::wstring& wide);

// A wide text in the current encoding, for texts the caller reads (error messages).
std::string ToCurrentEncoding(const std::wstring& wide);

// Throws FileError(cause, name) when name cannot be converted.
std::wstring WideOrThrow(const std::string& name, FileError::Cause cause);

}  // namespace vantry::platform::windows

#endif  // VANTRY_PLATFORM_WINDOWS_WIDE_NAME_H_
