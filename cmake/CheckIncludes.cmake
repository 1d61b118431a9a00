cmake_minimum_required(VERSION 3.25)
# Fails when a library source includes what its folder may not: another folder of src/ that it
# does not depend on (directly or through others), or an operating-system header outside
# src/platform. Tests (*_test.cpp) and test utilities (*_test_util.h) are free.
#
#   cmake -D SOURCE_DIR=<tree holding src/> -D "LAYERS=platform=;hash=platform;..." -P this
#
# LAYERS is what each folder's CMakeLists.txt declares (vantry_subsystem DEPENDS).

set(os_headers unistd.h windows.h fcntl.h io.h termios.h dlfcn.h pthread.h poll.h pty.h spawn.h
    winbase.h winnt.h)

foreach(entry IN LISTS LAYERS)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 layer)
  list(LENGTH parts count)
  set(deps_${layer})
  if(count GREATER 1)
    list(GET parts 1 deps)
    string(REPLACE "," ";" deps_${layer} "${deps}")
  endif()
  list(APPEND layers ${layer})
endforeach()

# The folders each one may reach: itself and everything it depends on, however indirectly.
foreach(layer IN LISTS layers)
  set(reach ${layer})
  set(queue ${deps_${layer}})
  while(queue)
    list(POP_FRONT queue next)
    if(NOT next IN_LIST reach)
      list(APPEND reach ${next})
      list(APPEND queue ${deps_${next}})
    endif()
  endwhile()
  set(reach_${layer} ${reach})
endforeach()

set(faults)
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE sources ${SOURCE_DIR}/src/${layer}/*.cpp ${SOURCE_DIR}/src/${layer}/*.h)
  foreach(source IN LISTS sources)
    if(source MATCHES "_test\\.cpp$|_test_util\\.h$")
      continue()
    endif()
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    file(RELATIVE_PATH shown ${SOURCE_DIR} ${source})
    foreach(line IN LISTS includes)
      if(line MATCHES "\"([a-z_]+)/[^\"]+\"")
        set(folder ${CMAKE_MATCH_1})
        if(NOT folder STREQUAL "vantry" AND NOT folder IN_LIST reach_${layer})
          list(APPEND faults "${shown}: ${layer} may not include ${folder}/ (${line})")
        endif()
      elseif(line MATCHES "<([a-z0-9_/]+\\.h)>")
        set(header ${CMAKE_MATCH_1})
        if(NOT layer STREQUAL "platform"
           AND (header IN_LIST os_headers OR header MATCHES "^sys/"))
          list(APPEND faults "${shown}: only platform includes system headers (${line})")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "includes against the folders' dependencies:\n  ${text}")
endif()
message(STATUS "includes follow the folders' dependencies")
