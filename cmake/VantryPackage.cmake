# Packages of an installed build, made with cpack in the build folder:
#   Linux: Debian packages (cpack -G DEB), one per install component (VantryInstall.cmake):
#          libvantry1 (the shared library), libvantry-dev (headers, pkg-config, CMake package,
#          examples), vantry (the tool, its manual page and bash completion) and python3-vantry
#          (the Python module); each with its copyright file; installed in /usr.
#   Windows: a .zip (cpack -G ZIP) of vantry.dll, its import library, the headers, vantry.exe
#          (which need no runtime DLLs beside them) and the license.
set(CPACK_PACKAGE_NAME vantry)
set(CPACK_PACKAGE_VENDOR "Vantry")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keeps a host application's data encrypted on disk")
set(CPACK_PACKAGE_CONTACT "Vantry developers <vantry@localhost>")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-${CMAKE_SYSTEM_PROCESSOR})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # The C runtime, the C++ runtime and libcrypto the library and the tool were linked against,
  # found by dpkg-shlibdeps (libvantry.so.1 itself in this build: the tool's package names its
  # package below); a shared library in /usr/lib gets the ldconfig trigger.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(same_library "libvantry${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")

  # The static library's pkg-config file requires the tss2 libraries too (VantryInstall.cmake).
  set(development_depends "libssl-dev")
  if(NOT BUILD_SHARED_LIBS AND VANTRY_WITH_TPM)
    string(APPEND development_depends ", libtss2-dev")
  endif()
  # component  package name  section  description  depends
  set(vantry_debian_packages
    "runtime|libvantry${PROJECT_VERSION_MAJOR}|libs|the shared library|"
    "development|libvantry-dev|libdevel|headers, pkg-config file, CMake package and examples|${development_depends}"
    "tool|vantry|utils|the vantry command-line tool|"
    "python|python3-vantry|python|the Python module|python3")
  if(NOT BUILD_SHARED_LIBS)
    # The static library alone: no runtime package, and no Python module to load it.
    list(FILTER vantry_debian_packages EXCLUDE REGEX "^(runtime|python)\\|")
  endif()
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE VANTRY_LICENSE_TEXT)
  set(CPACK_COMPONENTS_ALL)
  foreach(package IN LISTS vantry_debian_packages)
    string(REPLACE "|" ";" package "${package}")
    list(GET package 0 component)
    list(GET package 1 VANTRY_DEB_NAME)
    list(GET package 2 section)
    list(GET package 3 description)
    list(GET package 4 depends)
    string(TOUPPER ${component} upper)
    list(APPEND CPACK_COMPONENTS_ALL ${component})
    if(BUILD_SHARED_LIBS AND NOT component STREQUAL "runtime")
      list(PREPEND depends "${same_library}")
    endif()
    string(REPLACE ";" ", " depends "${depends}")
    set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${VANTRY_DEB_NAME})
    set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION ${section})
    set(CPACK_DEBIAN_${upper}_PACKAGE_DEPENDS "${depends}")
    set(CPACK_COMPONENT_${upper}_DESCRIPTION
        "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}: ${description}")
    configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright.in
                   ${PROJECT_BINARY_DIR}/debian/${VANTRY_DEB_NAME}/copyright @ONLY)
    # Only in the package: an installation under a prefix has the LICENSE file instead.
    install(FILES ${PROJECT_BINARY_DIR}/debian/${VANTRY_DEB_NAME}/copyright
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${VANTRY_DEB_NAME}
            COMPONENT ${component} EXCLUDE_FROM_ALL)
  endforeach()
  set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/python3-vantry/prerm)
endif()

include(CPack)
