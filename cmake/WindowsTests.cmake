# The Windows tests: a 32-bit host program that loads WQTRANS.dll, run under Wine
# (CMAKE_CROSSCOMPILING_EMULATOR), and a look at the library's tables with objdump.
# Included by the top CMakeLists.txt when building for Windows with tests.
add_executable(wqtrans_wine_host ${PROJECT_SOURCE_DIR}/tests/windows/wine_host.cpp
                                 ${PROJECT_SOURCE_DIR}/tests/windows/constants_standin.cpp
                                 ${PROJECT_SOURCE_DIR}/tests/windows/constants_system.cpp)
target_include_directories(wqtrans_wine_host PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(wqtrans_wine_host PRIVATE comctl32 user32 gdi32 kernel32)
set_target_properties(wqtrans_wine_host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
# The host loads the library from its own directory.
add_dependencies(wqtrans_wine_host wqtrans)

add_test(NAME windows.exports.objdump
         COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DLIBRARY=$<TARGET_FILE:wqtrans> -P
                 ${PROJECT_SOURCE_DIR}/tests/windows/CheckExports.cmake)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(STATUS "wine not found: the tests that run the library under Wine are left out")
  return()
endif()

set(WQTRANS_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(WQTRANS_WINE_ENVIRONMENT "WINEPREFIX=${WQTRANS_WINE_PREFIX}" "WINEARCH=win32" "WINEDEBUG=-all"
                             "WINEDLLOVERRIDES=mscoree,mshtml=" "DISPLAY=")
add_test(NAME windows.wine.setup COMMAND sh ${PROJECT_SOURCE_DIR}/tests/windows/wine-prefix.sh setup)
add_test(NAME windows.wine.cleanup COMMAND sh ${PROJECT_SOURCE_DIR}/tests/windows/wine-prefix.sh cleanup)
set_tests_properties(windows.wine.setup PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${WQTRANS_WINE_ENVIRONMENT}"
                                                   TIMEOUT 180)
set_tests_properties(windows.wine.cleanup PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${WQTRANS_WINE_ENVIRONMENT}")

foreach(section exports registry adapter run panels constants)
  add_test(NAME windows.host.${section} COMMAND wqtrans_wine_host ${section})
  set_tests_properties(windows.host.${section} PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT
                                                           "${WQTRANS_WINE_ENVIRONMENT}" TIMEOUT 120)
endforeach()
