# 32-bit Windows, the ABI of Vantry's hosts: cdecl entry points exported without decoration.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VANTRY_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
