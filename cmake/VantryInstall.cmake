# Installation: the library, its public headers, the vantry tool, a CMake package
# (find_package(Vantry) -> Vantry::vantry) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS vantry EXPORT VantryTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/vantry DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The example hosts, with the CMake project that builds them against the installed package.
install(FILES examples/CMakeLists.txt examples/note.c examples/note.cpp
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vantry/examples)
install(PROGRAMS examples/note.py DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vantry/examples)

set(VANTRY_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vantry)
install(EXPORT VantryTargets NAMESPACE Vantry:: DESTINATION ${VANTRY_CMAKE_DIR})
configure_package_config_file(cmake/VantryConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/VantryConfig.cmake INSTALL_DESTINATION ${VANTRY_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/VantryConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/VantryConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/VantryConfigVersion.cmake DESTINATION ${VANTRY_CMAKE_DIR})

# The C++ runtime the library needs: a host linking the static library, a C host above all,
# adds it (pkg-config --static). The compiler's own list, less the C runtime and libgcc, which
# every driver links anyway.
set(VANTRY_PC_LIBS_PRIVATE)
foreach(library IN LISTS CMAKE_CXX_IMPLICIT_LINK_LIBRARIES)
  if(NOT library MATCHES "^(c|gcc|gcc_s|gcc_eh)$")
    string(APPEND VANTRY_PC_LIBS_PRIVATE " -l${library}")
  endif()
endforeach()
string(STRIP "${VANTRY_PC_LIBS_PRIVATE}" VANTRY_PC_LIBS_PRIVATE)
if(BUILD_SHARED_LIBS)
  set(VANTRY_PC_CFLAGS "")
  set(VANTRY_PC_LIBS "")
else()
  set(VANTRY_PC_CFLAGS "-DVANTRY_STATIC")
  # Only the static library is installed: every host links the runtime too.
  set(VANTRY_PC_LIBS " ${VANTRY_PC_LIBS_PRIVATE}")
endif()
# Paths in the .pc file are relative to the file itself (pkg-config's ${pcfiledir}), so an
# installed tree still works when staged with cmake --install --prefix or moved as a whole.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(VANTRY_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(VANTRY_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH pc_to_prefix "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  set(VANTRY_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
  set(VANTRY_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VANTRY_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(VANTRY_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
if(WIN32)
  set(VANTRY_PC_REQUIRES_PRIVATE "")
else()
  set(VANTRY_PC_REQUIRES_PRIVATE "Requires.private: libcrypto >= 3.0")
  if(VANTRY_WITH_TPM)
    string(APPEND VANTRY_PC_REQUIRES_PRIVATE ", tss2-esys, tss2-tctildr, tss2-mu, tss2-rc")
  endif()
endif()
configure_file(cmake/vantry.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vantry.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vantry.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
