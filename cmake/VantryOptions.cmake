# Compiler settings shared by every target of the project.

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra -Wpedantic)
  if(VANTRY_WERROR)
    add_compile_options(-Werror)
  endif()
endif()

if(VANTRY_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(BUILD_SHARED_LIBS)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/VantryHardening.cmake)

set(VANTRY_TEST_DATA_DIR "${PROJECT_SOURCE_DIR}/tests/data")

# vantry_object_library(name SOURCES ...): one subsystem of the library. It sees the public
# headers and src/ (so units include each other as "cipher/tables.h", "io/data_stream.h").
function(vantry_object_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} OBJECT ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC
    ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(${name} PRIVATE VANTRY_BUILDING)
  if(NOT BUILD_SHARED_LIBS)
    target_compile_definitions(${name} PUBLIC VANTRY_STATIC)
  endif()
  if(ARG_DEPENDS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  endif()
endfunction()

# vantry_add_test(name SOURCES ... LIBS ...): a GoogleTest executable registered with CTest.
# LIBS lists every object library the test needs: object files are only linked into the
# targets that name them directly.
function(vantry_add_test name)
  if(NOT VANTRY_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} vantry_testsupport GTest::gtest GTest::gtest_main)
  if(OPENSSL_FOUND)
    target_link_libraries(${name} PRIVATE OpenSSL::Crypto)
  endif()
  target_compile_definitions(${name} PRIVATE VANTRY_TEST_DATA_DIR="${VANTRY_TEST_DATA_DIR}")
  if(WIN32 AND BUILD_SHARED_LIBS)
    # The test holds the library's object files itself, not vantry.dll: its declarations
    # must not ask for dllimport.
    target_compile_definitions(${name} PRIVATE VANTRY_STATIC)
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Under Wine, starting a program costs more than most tests take: one CTest test per
    # executable; GoogleTest's output names any case that fails.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS unit)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)
  endif()
endfunction()

# vantry_subsystem(name [DIRS subfolders...] [DEPENDS libs...] [TEST_LIBS libs...]
#                  [EXCLUDE_TESTS files...]): the object library vantry_<name> from the .cpp
# files of the current folder and its DIRS, and the test executable <name>_test from its
# *_test.cpp files.
function(vantry_subsystem name)
  cmake_parse_arguments(ARG "" "" "DIRS;DEPENDS;TEST_LIBS;EXCLUDE_TESTS" ${ARGN})
  file(GLOB all_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(dir IN LISTS ARG_DIRS)
    file(GLOB dir_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND all_sources ${dir_sources})
  endforeach()
  set(sources ${all_sources})
  set(tests ${all_sources})
  list(FILTER sources EXCLUDE REGEX "_test\\.cpp$")
  list(FILTER tests INCLUDE REGEX "_test\\.cpp$")
  # Tests that use OpenSSL as an oracle are named *_openssl_test.cpp; a build without OpenSSL
  # (the Windows cross build) leaves them out. Tests of one system's behaviour are named
  # *_posix_test.cpp or *_windows_test.cpp and built on that system only.
  if(NOT OPENSSL_FOUND)
    list(FILTER tests EXCLUDE REGEX "_openssl_test\\.cpp$")
  endif()
  if(WIN32)
    list(FILTER tests EXCLUDE REGEX "_posix_test\\.cpp$")
  else()
    list(FILTER tests EXCLUDE REGEX "_windows_test\\.cpp$")
  endif()
  # Tests with a program of their own (EXCLUDE_TESTS) stay out of the folder's test program.
  foreach(excluded IN LISTS ARG_EXCLUDE_TESTS)
    list(FILTER tests EXCLUDE REGEX "/${excluded}$")
  endforeach()
  if(NOT sources)
    set(unit ${CMAKE_CURRENT_BINARY_DIR}/vantry_${name}_unit.cpp)
    file(WRITE ${unit} "// no sources yet\n")
    set(sources ${unit})
  endif()
  vantry_object_library(vantry_${name} SOURCES ${sources} DEPENDS ${ARG_DEPENDS})
  # What the folder may include, for the include check: the folders it declares it depends on.
  list(TRANSFORM ARG_DEPENDS REPLACE "^vantry_" "" OUTPUT_VARIABLE layers)
  list(JOIN layers "," layers)
  set_property(GLOBAL APPEND PROPERTY VANTRY_LAYERS "${name}=${layers}")
  if(tests)
    vantry_add_test(${name}_test SOURCES ${tests} LIBS vantry_${name} ${ARG_TEST_LIBS})
  endif()
endfunction()
