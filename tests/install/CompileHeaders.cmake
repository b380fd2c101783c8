# compile_headers(CXX INCLUDE WORK ERRORS HEADER...): compiles each header alone, as
# `#include <HEADER>` with only INCLUDE on the path (C++17, warnings as errors), and
# appends a message for each that does not compile to the variable named ERRORS. The
# test sources are written to WORK.
function(compile_headers cxx include work errors_variable)
  set(found "${${errors_variable}}")
  foreach(name ${ARGN})
    string(MAKE_C_IDENTIFIER ${name} stem)
    file(WRITE ${work}/header-${stem}.cpp "#include <${name}>\n")
    execute_process(COMMAND ${cxx} -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I${include}
                            ${work}/header-${stem}.cpp ERROR_VARIABLE output RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      string(APPEND found "#include <${name}> does not compile from ${include}:\n${output}\n")
    endif()
  endforeach()
  set(${errors_variable} "${found}" PARENT_SCOPE)
endfunction()
