# The dynamic symbols a shared library defines, demangled, against the list in
# EXPECTED (one per line, sorted; # starts a comment): nothing missing, nothing more.
#
#   cmake -DNM=nm -DLIBRARY=libwqtrans.so -DEXPECTED=libwqtrans.symbols -P CheckSymbols.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${NM} -D --defined-only -C ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} -D --defined-only -C ${LIBRARY} failed")
endif()
string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] [^\n]+" lines "${dump}")
set(found "")
foreach(line ${lines})
  string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] " "" name "${line}")
  list(APPEND found "${name}")
endforeach()
list(REMOVE_DUPLICATES found)
list(SORT found)

file(STRINGS ${EXPECTED} listed REGEX "^[^#]")
list(SORT listed)

set(missing ${listed})
list(REMOVE_ITEM missing ${found})
set(extra ${found})
list(REMOVE_ITEM extra ${listed})
if(missing OR extra)
  list(JOIN missing "\n  " missing)
  list(JOIN extra "\n  " extra)
  message(FATAL_ERROR "${LIBRARY} does not export what ${EXPECTED} lists.\n"
                      "Listed but not exported:\n  ${missing}\nExported but not listed:\n  ${extra}\n"
                      "Mark what hosts may call with WQ_API (module/Api.h) and list it there.")
endif()
list(LENGTH found count)
message(STATUS "${LIBRARY}: the ${count} symbols listed, nothing more")
