# The man page renders without a warning: groff with every warning on for print and
# for terminals with and without a locale, and mandoc's
# lint at the warning level when mandoc is installed.
#
#   cmake -DPAGE=wqtrans.1 -DGROFF=groff [-DMANDOC=mandoc] -P CheckManPage.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT EXISTS ${PAGE})
  message(FATAL_ERROR "${PAGE} was not made")
endif()
# As man formats it for a terminal: -Tutf8 in a UTF-8 locale, -Tascii in the C locale
# of a user who set none (whose device lacks some characters, e.g. the ellipsis).
foreach(device ps utf8 ascii)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${GROFF} -ww -z -t -man -T${device} ${PAGE}
                  ERROR_VARIABLE warnings RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR warnings)
    message(FATAL_ERROR "LC_ALL=C groff -ww -z -t -man -T${device} ${PAGE}:\n${warnings}")
  endif()
endforeach()
if(MANDOC)
  execute_process(COMMAND ${MANDOC} -T lint -W warning ${PAGE} OUTPUT_VARIABLE warnings ERROR_VARIABLE warnings
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR warnings)
    message(FATAL_ERROR "mandoc -T lint -W warning ${PAGE}:\n${warnings}")
  endif()
endif()
file(STRINGS ${PAGE} sections REGEX "^\\.SH ")
list(LENGTH sections count)
if(count LESS 5)
  message(FATAL_ERROR "${PAGE} has ${count} sections; the README's manual has NAME, SYNOPSIS, DESCRIPTION, ...")
endif()
message(STATUS "${PAGE}: ${count} sections, no warning")
