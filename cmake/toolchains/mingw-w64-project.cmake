# What the project needs when it is cross-built for Windows with mingw-w64 on Linux; included by
# the top-level CMakeLists.txt after the toolchain has been chosen.
#
# vantry.dll and vantry.exe carry their own copy of the C++ runtime (libstdc++, libgcc,
# winpthread) and import only Windows' own DLLs: a host ships vantry.dll alone, and whatever
# runtime the host itself uses, or none, never meets the library's. Only plain C crosses the C
# interface, so that is all any host needs. The build's test programs still use the shared
# runtime DLLs, as a host built with mingw-w64's defaults does; they are copied beside them.

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

# vantry_link_runtime_statically(target): the target links libstdc++, libgcc and winpthread
# into itself. The 32-bit DLL also sends its unwinder's entries through unwind_dispatch.cpp,
# which finds the library's frames wherever start-up registered them (see there).
function(vantry_link_runtime_statically target)
  target_link_options(${target} PRIVATE -static)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_sources(${target} PRIVATE
      ${PROJECT_SOURCE_DIR}/src/platform/windows/runtime/unwind_dispatch.cpp)
    foreach(entry RaiseException Resume Resume_or_Rethrow DeleteException GetGR SetGR GetIP
                  GetIPInfo SetIP GetLanguageSpecificData GetRegionStart GetDataRelBase
                  GetTextRelBase GetCFA)
      target_link_options(${target} PRIVATE -Wl,--wrap=_Unwind_${entry})
    endforeach()
  endif()
endfunction()

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
