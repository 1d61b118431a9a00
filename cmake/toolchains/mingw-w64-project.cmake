# What the project needs when it is cross-built for Windows with mingw-w64 on Linux; included by
# the top-level CMakeLists.txt after the toolchain has been chosen.
#
# vantry.dll is linked against the shared C++ runtime (libstdc++-6.dll, libgcc_s_*.dll,
# libwinpthread-1.dll). That is what lets a host built with the same compiler catch the
# library's exceptions and pass std::string by value: both sides then use one heap, one
# exception runtime and one std::string layout. The runtime DLLs are therefore copied beside
# every program of the build and installed beside vantry.dll.

# Every program and DLL of the build in one folder, so Windows finds vantry.dll and the runtime
# DLLs next to the program that loads them.
if(NOT CMAKE_RUNTIME_OUTPUT_DIRECTORY)
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # 32-bit mingw unwinds with DWARF-2 tables, 64-bit with SEH: the runtime DLL is named after it.
  set(VANTRY_MINGW_RUNTIME_DLLS libstdc++-6.dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
else()
  set(VANTRY_MINGW_RUNTIME_DLLS libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
endif()

set(VANTRY_MINGW_RUNTIME_PATHS)
foreach(dll IN LISTS VANTRY_MINGW_RUNTIME_DLLS)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
  endif()
  get_filename_component(path "${path}" REALPATH)
  list(APPEND VANTRY_MINGW_RUNTIME_PATHS "${path}")
endforeach()
file(COPY ${VANTRY_MINGW_RUNTIME_PATHS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
install(FILES ${VANTRY_MINGW_RUNTIME_PATHS} DESTINATION bin)

# Debian has no GoogleTest built for mingw-w64; libgtest-dev ships its sources. Built static
# and with its own warning settings, since it is not our code.
function(vantry_add_googletest_from_sources)
  set(BUILD_SHARED_LIBS OFF)
  set(BUILD_GMOCK OFF)
  set(INSTALL_GTEST OFF)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  target_compile_options(gtest PRIVATE -Wno-error)
  target_compile_options(gtest_main PRIVATE -Wno-error)
endfunction()
