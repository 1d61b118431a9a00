# Hardening of every binary the project builds, checked on the built files by
# scripts/check-hardening (the hardening tests and scripts/test-all run it).
#
# ELF (Linux): full RELRO with immediate binding, so the dynamic linker's tables are read-only
# and no lazy resolver runs inside a call that holds secrets; a non-executable stack; stack
# canaries in every function with an array or an address-taken local; checked string and memory
# functions where the object size is known (optimised builds; the sanitizers check more); CET
# branch protection on x86; a position-independent tool.
# PE (Windows): relocatable images (ASLR), data execution prevention, and on x64 the full
# 64-bit address space for ASLR.

include(CheckCXXCompilerFlag)
include(CheckPIESupported)

if(WIN32)
  add_link_options(-Wl,--dynamicbase -Wl,--nxcompat)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_link_options(-Wl,--high-entropy-va)
  endif()
  return()
endif()

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
check_pie_supported(LANGUAGES CXX)

add_compile_options(-fstack-protector-strong)
if(NOT VANTRY_SANITIZE)
  # _FORTIFY_SOURCE needs the optimiser; glibc warns without it.
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
endif()
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i[3-6]86)$")
  check_cxx_compiler_flag(-fcf-protection=full VANTRY_HAS_CF_PROTECTION)
  if(VANTRY_HAS_CF_PROTECTION)
    add_compile_options(-fcf-protection=full)
  endif()
endif()
add_link_options(-Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack)

# Library search paths: only $ORIGIN-relative or absolute folders, never an empty or relative
# element, which the dynamic linker takes as the current folder (another user's folder, for a
# root shell in /tmp). Build-tree paths are $ORIGIN-relative, so a build tree moved or shared
# still finds only its own libraries. (An installed target's build-tree RUNPATH also ends in an
# empty element, room CMake keeps for editing it at install: see tools/vantry/CMakeLists.txt.)
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
