# Checks that a host program shares no runtime with vantry.dll, as objdump -p lists its imports:
#   cmake -D OBJDUMP=<objdump> -D PROGRAM=<host.exe> -P check_static_host.cmake
# It may import Windows' own DLLs (kernel32, msvcrt), never the C++ runtime DLLs, and not
# vantry.dll either: it loads that by name at run time.
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
  message(FATAL_ERROR "${PROGRAM}: no imports found in the objdump output")
endif()
foreach(forbidden "libstdc\\+\\+" "libgcc_s" "libwinpthread" "vantry")
  if(imports MATCHES "DLL Name: [^;]*${forbidden}")
    message(FATAL_ERROR "${PROGRAM} imports ${forbidden}:\n  ${imports}")
  endif()
endforeach()
message(STATUS "${PROGRAM} imports only: ${imports}")
