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

# The zip that `cmake --build --preset mingw --target package` makes: the setup test
# makes and unpacks it, checks its files and compiles its headers, and puts the test
# host beside the unpacked WQTRANS.dll, which the tests below then load.
set(WQTRANS_ZIP_DIR ${CMAKE_BINARY_DIR}/zip-test)
set(WQTRANS_ZIP_ROOT ${WQTRANS_ZIP_DIR}/wqtrans-${PROJECT_VERSION}-win32)
add_test(NAME windows.zip.unpack
         COMMAND ${CMAKE_COMMAND} -DCPACK=${CMAKE_CPACK_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DUNPACK=${WQTRANS_ZIP_DIR}
                 -DROOT=${WQTRANS_ZIP_ROOT} -DHOST=$<TARGET_FILE:wqtrans_wine_host> -DCXX=${CMAKE_CXX_COMPILER} -P
                 ${PROJECT_SOURCE_DIR}/tests/windows/UnpackZip.cmake)
set_tests_properties(windows.zip.unpack PROPERTIES FIXTURES_SETUP zip TIMEOUT 180)

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

# The host loads WQTRANS.dll from its own folder: the one unpacked from the zip.
foreach(section exports registry adapter run panels constants)
  add_test(NAME windows.host.${section} COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR}
                                                ${WQTRANS_ZIP_ROOT}/bin/wqtrans_wine_host.exe ${section})
  set_tests_properties(windows.host.${section} PROPERTIES FIXTURES_REQUIRED "wine;zip" ENVIRONMENT
                                                           "${WQTRANS_WINE_ENVIRONMENT}" TIMEOUT 120)
endforeach()
