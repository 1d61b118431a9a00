# Installation: the library, its public headers, the vantry tool, a CMake package
# (find_package(Vantry) -> Vantry::vantry), a pkg-config file and the Python package. Every rule
# names the component (the Debian package, see VantryPackage.cmake) it belongs to:
#   runtime       the shared library a program needs to run
#   development   headers, the library to link (name link, static archive or import library),
#                 the CMake package, the pkg-config file, the C and C++ examples
#   tool          the vantry command, its manual page and completion (tools/vantry)
#   python        the vantry Python module and its example
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS vantry EXPORT VantryTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
          NAMELINK_COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(DIRECTORY include/vantry DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
# The example hosts, with the CMake project that builds them against the installed package.
set(VANTRY_EXAMPLES_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/vantry/examples)
install(FILES examples/CMakeLists.txt examples/note.c examples/note.cpp examples/upgrade.c
        DESTINATION ${VANTRY_EXAMPLES_DIR} COMPONENT development)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vantry COMPONENT license)

# The Python module (over the shared library), where Debian's python3 looks for packages of the system (a prefix install
# adds <prefix>/lib/python3/dist-packages to PYTHONPATH, or uses pip install ./python). The
# module finds the library of its own installation through the path written beside it.
set(VANTRY_PYTHON_DIR lib/python3/dist-packages CACHE STRING
    "Where the vantry Python module is installed, relative to the prefix")
if(BUILD_SHARED_LIBS AND NOT WIN32)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    set(VANTRY_PYTHON_LIBRARY_FOLDER "${CMAKE_INSTALL_LIBDIR}")
  else()
    file(RELATIVE_PATH VANTRY_PYTHON_LIBRARY_FOLDER "/prefix/${VANTRY_PYTHON_DIR}/vantry"
         "/prefix/${CMAKE_INSTALL_LIBDIR}")
  endif()
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/python/_installed.py CONTENT
       "# Written by the installation: where the library is, from this folder.\nLIBRARY_FOLDER = \"${VANTRY_PYTHON_LIBRARY_FOLDER}\"\n")
  install(DIRECTORY python/vantry DESTINATION ${VANTRY_PYTHON_DIR} COMPONENT python
          FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/python/_installed.py
          DESTINATION ${VANTRY_PYTHON_DIR}/vantry COMPONENT python)
  install(PROGRAMS examples/note.py DESTINATION ${VANTRY_EXAMPLES_DIR} COMPONENT python)
endif()

set(VANTRY_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vantry)
install(EXPORT VantryTargets NAMESPACE Vantry:: DESTINATION ${VANTRY_CMAKE_DIR}
        COMPONENT development)
configure_package_config_file(cmake/VantryConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/VantryConfig.cmake INSTALL_DESTINATION ${VANTRY_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/VantryConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/VantryConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/VantryConfigVersion.cmake DESTINATION ${VANTRY_CMAKE_DIR}
  COMPONENT development)

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
# libcrypto is the static library's own dependency: a host of the shared library never links
# it, so its pkg-config file does not ask for it (and works without libcrypto's .pc). When only
# the static library is installed, every host links libcrypto too.
if(WIN32 OR BUILD_SHARED_LIBS)
  set(VANTRY_PC_REQUIRES "")
else()
  set(VANTRY_PC_REQUIRES "Requires: libcrypto >= 3.0")
  if(VANTRY_WITH_TPM)
    string(APPEND VANTRY_PC_REQUIRES ", tss2-esys, tss2-tctildr, tss2-mu, tss2-rc")
  endif()
endif()
configure_file(cmake/vantry.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vantry.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vantry.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)
