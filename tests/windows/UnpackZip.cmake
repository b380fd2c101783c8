# Makes the Windows zip with CPack, unpacks it, checks that it holds the library, its
# import library and export table, the headers and the README, compiles each header
# alone from the unpacked include/, and copies the test host beside the unpacked
# WQTRANS.dll so that the tests run the library out of the zip.
#
#   cmake -DCPACK=cpack -DBUILD=build/mingw -DUNPACK=<dir> -DROOT=<dir>/wqtrans-V-win32
#         -DHOST=wqtrans_wine_host.exe -DCXX=i686-w64-mingw32-g++ -P UnpackZip.cmake
cmake_minimum_required(VERSION 3.25)
get_filename_component(name ${ROOT} NAME)
set(zip ${BUILD}/packages/${name}.zip)
file(REMOVE ${zip})
execute_process(COMMAND ${CPACK} --config ${BUILD}/CPackConfig.cmake WORKING_DIRECTORY ${BUILD}
                OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT EXISTS ${zip})
  message(FATAL_ERROR "cpack did not make ${zip}:\n${output}")
endif()

file(REMOVE_RECURSE ${UNPACK})
file(MAKE_DIRECTORY ${UNPACK})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${UNPACK} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${zip} does not unpack")
endif()

set(errors "")
set(headers module/Api.h module/Exports.h module/HostSurface.h module/TransitionAdapter.h module/Types.h
            module/Version.h platform/Platform.h)
foreach(file bin/WQTRANS.dll lib/WQTRANS.dll.a lib/WQTRANS.def README.txt)
  if(NOT EXISTS ${ROOT}/${file})
    string(APPEND errors "missing: ${file}\n")
  endif()
endforeach()
set(names "")
foreach(header ${headers})
  if(EXISTS ${ROOT}/include/wqtrans/${header})
    list(APPEND names wqtrans/${header})
  else()
    string(APPEND errors "missing: include/wqtrans/${header}\n")
  endif()
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/../install/CompileHeaders.cmake)
compile_headers(${CXX} ${ROOT}/include ${UNPACK} errors ${names})
if(errors)
  message(FATAL_ERROR "${zip}:\n${errors}")
endif()

file(COPY ${HOST} DESTINATION ${ROOT}/bin)
message(STATUS "${zip}: unpacked into ${ROOT}, every file in place, the headers compile")
