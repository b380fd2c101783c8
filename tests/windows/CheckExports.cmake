# Reads WQTRANS.dll's export and import tables with objdump -p, from outside any
# Windows process: the library names itself WQTRANS.dll, exports exactly the nine
# entry points with their ordinals, and imports from system libraries only.
#
#   cmake -DOBJDUMP=<objdump> -DLIBRARY=<WQTRANS.dll> -P CheckExports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed")
endif()

set(errors "")
if(NOT dump MATCHES "\nName[ \t]+[0-9a-fA-F]+ WQTRANS\\.dll\n")
  string(APPEND errors "the export table does not name the library WQTRANS.dll\n")
endif()
if(NOT dump MATCHES "\nOrdinal Base[ \t]+2\n")
  string(APPEND errors "the ordinals do not start at 2\n")
endif()

# The address table: "[ i] +base[ n] <rva> Export RVA", entry i has ordinal n.
string(REGEX MATCHALL "\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\]" slots "${dump}")
foreach(slot ${slots})
  string(REGEX MATCH "\\[ *([0-9]+)\\] \\+base\\[ *([0-9]+)\\]" _ "${slot}")
  set(ordinal_of_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
endforeach()

# The name table: "[ n] Name" lines. Here n is the address-table entry (binutils
# 2.40); should a version print the ordinal itself, n names no entry and is taken as
# the ordinal.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\] [A-Za-z0-9_]+\n)+)" table "${dump}")
string(REGEX MATCHALL "\\[[ 0-9]+\\] [A-Za-z0-9_]+" entries "${CMAKE_MATCH_1}")
set(all_entries TRUE)
foreach(entry ${entries})
  string(REGEX MATCH "\\[ *([0-9]+)\\]" _ "${entry}")
  if(NOT DEFINED ordinal_of_${CMAKE_MATCH_1})
    set(all_entries FALSE)
  endif()
endforeach()
set(found "")
foreach(entry ${entries})
  string(REGEX MATCH "\\[ *([0-9]+)\\] ([A-Za-z0-9_]+)" _ "${entry}")
  set(ordinal ${CMAKE_MATCH_1})
  if(all_entries)
    set(ordinal ${ordinal_of_${CMAKE_MATCH_1}})
  endif()
  list(APPEND found "${CMAKE_MATCH_2}=${ordinal}")
endforeach()
list(SORT found)
set(expected CreateTransition=5 GetModuleID=4 GetModuleName=3 GetModuleType=2 GetTransCount=6 GetTransID=8
             GetTransMode=9 GetTransName=7 IsUnicode=10)
list(SORT expected)
if(NOT found STREQUAL expected)
  string(APPEND errors "exports are\n  ${found}\nexpected\n  ${expected}\n")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
foreach(import ${imports})
  string(REGEX REPLACE "DLL Name: " "" name "${import}")
  string(TOUPPER "${name}" name)
  if(NOT name MATCHES "^(KERNEL32|USER32|GDI32|WINMM|COMCTL32|MSVCRT)\\.DLL$")
    string(APPEND errors "imports from ${name}, which is not a system library\n")
  endif()
endforeach()

if(errors)
  message(FATAL_ERROR "${errors}")
endif()
message(STATUS "WQTRANS.dll exports: ${found}")
