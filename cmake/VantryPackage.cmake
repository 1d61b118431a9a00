# Packages of an installed build, made with cpack in the build folder:
#   Linux: a .deb (cpack -G DEB) of the library, headers, CMake package, pkg-config module,
#          the tool, its manual page and bash completion, and the examples; installed in /usr.
#   Windows: a .zip (cpack -G ZIP) of vantry.dll, its import library, the headers and
#          vantry.exe, which need no runtime DLLs beside them.
set(CPACK_PACKAGE_NAME vantry)
set(CPACK_PACKAGE_VENDOR "Vantry")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keeps a host application's data encrypted on disk")
set(CPACK_PACKAGE_CONTACT "Vantry developers <vantry@localhost>")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-${CMAKE_SYSTEM_PROCESSOR})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  # The C runtime and the C++ runtime the library and the tool were linked against, found by
  # dpkg-shlibdeps; a shared library in /usr/lib gets the ldconfig trigger.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
endif()

include(CPack)
