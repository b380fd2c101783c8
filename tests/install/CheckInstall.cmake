# Installs the build into a prefix of its own and checks it: every file of EXPECTED is
# there, include/ holds no header beyond them, the shared libraries carry their
# soname, and each installed header compiles alone with only the prefix's include/ on
# the path.
#
#   cmake -DBUILD=build/debug -DPREFIX=/tmp/p -DCXX=g++ -DEXPECTED=installed-files.txt
#         -DLIBDIR=lib -DVERSION=0.1.0 -DTOOLS=ON -P CheckInstall.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD} --prefix ${PREFIX} failed")
endif()

string(REGEX MATCH "^[0-9]+" MAJOR ${VERSION})
file(STRINGS ${EXPECTED} patterns REGEX "^[^#]")
set(errors "")
set(headers "")
foreach(pattern ${patterns})
  if(pattern MATCHES "^\\[tool\\] (.*)")
    if(NOT TOOLS)
      continue()
    endif()
    set(pattern ${CMAKE_MATCH_1})
  endif()
  string(CONFIGURE "${pattern}" pattern @ONLY)
  file(GLOB matches LIST_DIRECTORIES false ${PREFIX}/${pattern})
  if(NOT matches)
    string(APPEND errors "missing: ${pattern}\n")
  endif()
  if(pattern MATCHES "^include/")
    list(APPEND headers ${PREFIX}/${pattern})
  endif()
endforeach()

file(GLOB_RECURSE installed_headers LIST_DIRECTORIES false ${PREFIX}/include/*)
foreach(header ${installed_headers})
  if(NOT header IN_LIST headers)
    string(APPEND errors "not a public header, yet installed: ${header}\n")
  endif()
endforeach()

foreach(library wqtrans wqtrans-host)
  execute_process(COMMAND objdump -p ${PREFIX}/${LIBDIR}/lib${library}.so OUTPUT_VARIABLE dump)
  if(NOT dump MATCHES "SONAME +lib${library}\\.so\\.${MAJOR}\n")
    string(APPEND errors "lib${library}.so: the soname is not lib${library}.so.${MAJOR}\n")
  endif()
endforeach()

set(names "")
foreach(header ${installed_headers})
  file(RELATIVE_PATH name ${PREFIX}/include ${header})
  list(APPEND names ${name})
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/CompileHeaders.cmake)
compile_headers(${CXX} ${PREFIX}/include ${PREFIX}/.. errors ${names})

if(errors)
  message(FATAL_ERROR "The install into ${PREFIX}:\n${errors}")
endif()
list(LENGTH installed_headers count)
message(STATUS "${PREFIX}: every file in place; the ${count} headers compile from there")
