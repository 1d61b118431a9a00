// The half of the <windows.h> test that is compiled with <windows.h> included first.
#ifndef VANTRY_TESTS_WINDOWS_WINDOWS_TEST_UTIL_H_
#define VANTRY_TESTS_WINDOWS_WINDOWS_TEST_UTIL_H_

#include <string>

namespace vantry::test {

// Encrypts plain into sealed and decrypts that into opened, with a fixed key.
void RoundTripWithWindowsHBefore(const std::string& plain, const std::string& sealed,
                                 const std::string& opened);

}  // namespace vantry::test

#endif  // VANTRY_TESTS_WINDOWS_WINDOWS_TEST_UTIL_H_
