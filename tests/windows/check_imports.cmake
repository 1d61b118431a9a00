# Checks that a Windows program or DLL imports nothing but Windows' own DLLs, as objdump -p lists
# its imports:
#   cmake -D OBJDUMP=<objdump> -D PROGRAM=<file.exe|file.dll> [-D ALSO=<dll>] -P check_imports.cmake
# Neither the C++ runtime DLLs (libstdc++, libgcc_s, libwinpthread) nor any other DLL that a
# host would have to ship; ALSO names one more DLL that is allowed (vantry.dll for a host that
# links its import library).
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
  message(FATAL_ERROR "${PROGRAM}: no imports found in the objdump output")
endif()
set(system "kernel32|msvcrt|advapi32|bcrypt|crypt32|ntdll|user32|version|shell32|ws2_32|ucrtbase|api-ms-win-[a-z0-9-]+")
foreach(import IN LISTS imports)
  string(REGEX REPLACE "^DLL Name: *" "" dll "${import}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(${system})\\.dll$" AND NOT dll STREQUAL "${ALSO}")
    message(FATAL_ERROR "${PROGRAM} imports ${dll}, which is not Windows' own:\n  ${imports}")
  endif()
endforeach()
message(STATUS "${PROGRAM} imports only: ${imports}")
