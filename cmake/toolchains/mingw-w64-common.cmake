# Cross build for Windows with Debian's mingw-w64 compilers, shared by the i686 and x86_64
# toolchain files, which set VANTRY_MINGW_TRIPLE first.
#
# The posix flavour of the compilers is used: its libstdc++ has std::thread and std::mutex,
# and it ships as the shared runtime DLLs (libstdc++-6, libgcc_s_*, libwinpthread-1) that
# vantry.dll and its hosts must share for exceptions and std::string to cross the DLL boundary.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VANTRY_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTRY_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTRY_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw-w64 sysroot only, never from the Linux system;
# programs (objdump, wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VANTRY_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine: ctest, and gtest_discover_tests when it lists the tests.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
