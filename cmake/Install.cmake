# What `cmake --install` puts under the prefix. Components (one Debian package each,
# see cmake/Package.cmake): runtime (the shared libraries), dev (headers, static
# libraries, CMake package, pkg-config files), tool (wqtrans and its man page); the
# frei0r plugins install their own component, frei0r.
include(CMakePackageConfigHelpers)

# The headers a host needs, installed under include/wqtrans/ with the layout of the
# source tree: exports, adapter, surface interface, shared types, platform types,
# automation and the reference surface.
set(WQTRANS_PUBLIC_HEADERS module/Api.h module/Exports.h module/HostSurface.h module/TransitionAdapter.h
                           module/Types.h platform/Platform.h)
if(NOT WIN32)
  list(APPEND WQTRANS_PUBLIC_HEADERS platform/Automation.h platform/posix/Win32.h host/SoftwareSurface.h
       host/SoftwareSurfacePixels.h)
endif()
foreach(header ${WQTRANS_PUBLIC_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/wqtrans/${folder} COMPONENT dev)
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/generated/module/Version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/wqtrans/module
        COMPONENT dev)

if(WIN32)
  # The Windows zip: WQTRANS.dll in bin/, its import library and export table in lib/,
  # the headers and a README.
  install(TARGETS wqtrans RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
                          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
  install(FILES module/WQTRANS.def DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
  install(FILES cmake/README-windows.txt DESTINATION . RENAME README.txt COMPONENT runtime)
  return()
endif()

# The libraries and the CMake package that finds them: find_package(wqtrans 0.1)
# gives wqtrans::wqtrans and wqtrans::host (shared), wqtrans::wqtrans_static and
# wqtrans::host_static. The exported paths are relative to the package's own folder,
# so a prefix can be moved.
foreach(target wqtrans wqtrans_static wqtrans_host wqtrans_host_shared)
  target_compile_features(${target} INTERFACE cxx_std_17)
endforeach()
install(TARGETS wqtrans wqtrans_static wqtrans_host_shared wqtrans_host
        EXPORT wqtransTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
# The dynamic loader finds new shared libraries under /usr and /usr/local once its
# cache is renewed: ldconfig runs when root installs there (not into a DESTDIR or
# CPack's staging folder); elsewhere the summary names LD_LIBRARY_PATH.
install(CODE [[
string(REGEX REPLACE "(.)/+$" "\\1" _wqtrans_prefix "${CMAKE_INSTALL_PREFIX}")
if(_wqtrans_prefix MATCHES "^/usr(/local)?$" AND "$ENV{DESTDIR}" STREQUAL "")
  find_program(_wqtrans_ldconfig ldconfig PATHS /sbin /usr/sbin NO_CACHE)
  execute_process(COMMAND id -u OUTPUT_VARIABLE _wqtrans_uid OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(_wqtrans_ldconfig AND _wqtrans_uid STREQUAL "0")
    message(STATUS "Running ldconfig")
    execute_process(COMMAND ${_wqtrans_ldconfig} RESULT_VARIABLE _wqtrans_ldconfig_result)
  endif()
  if(NOT _wqtrans_ldconfig_result STREQUAL "0")
    list(APPEND _wqtrans_notes "the dynamic loader: run ldconfig as root, once")
  endif()
endif()
]] COMPONENT runtime)
wqtrans_install_note(COMPONENT runtime SEARCHED /usr /usr/local
                     TEXT "programs linked with libwqtrans: set LD_LIBRARY_PATH=@PREFIX@/${CMAKE_INSTALL_LIBDIR}")
set(WQTRANS_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/wqtrans)
install(EXPORT wqtransTargets NAMESPACE wqtrans:: DESTINATION ${WQTRANS_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/wqtransConfig.cmake.in ${PROJECT_BINARY_DIR}/wqtransConfig.cmake
                              INSTALL_DESTINATION ${WQTRANS_CMAKE_DIR})
# Until 1.0 a minor version may change the host API: 0.1 accepts 0.1.x only.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(WQTRANS_COMPATIBILITY SameMinorVersion)
else()
  set(WQTRANS_COMPATIBILITY SameMajorVersion)
endif()
write_basic_package_version_file(${PROJECT_BINARY_DIR}/wqtransConfigVersion.cmake
                                 COMPATIBILITY ${WQTRANS_COMPATIBILITY})
install(FILES ${PROJECT_BINARY_DIR}/wqtransConfig.cmake ${PROJECT_BINARY_DIR}/wqtransConfigVersion.cmake
        DESTINATION ${WQTRANS_CMAKE_DIR} COMPONENT dev)

# pkg-config: wqtrans.pc (the module) and wqtrans-host.pc (the reference surface,
# which requires wqtrans). Paths are relative to the .pc file itself, as the CMake
# package's are, so `cmake --install --prefix` and a moved prefix both work.
file(RELATIVE_PATH WQTRANS_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" WQTRANS_PC_TO_PREFIX ${WQTRANS_PC_TO_PREFIX})
foreach(name wqtrans wqtrans-host)
  configure_file(cmake/${name}.pc.in ${PROJECT_BINARY_DIR}/${name}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()

if(NOT WQTRANS_TOOLS)
  return()
endif()

# The tool and its man page. The page is made at build time from the manual in the
# README (the section "wqtrans(1)"), its only source, with lowdown.
install(TARGETS wqtrans_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
find_program(WQTRANS_LOWDOWN lowdown)
find_program(WQTRANS_PRECONV preconv)
if(NOT WQTRANS_LOWDOWN OR NOT WQTRANS_PRECONV)
  message(FATAL_ERROR "The man page wqtrans.1 is made with lowdown and preconv: install the Debian packages "
                      "lowdown and groff-base (scripts/deps.sh lists them), or configure with -DWQTRANS_TOOLS=OFF")
endif()
set(WQTRANS_MAN_PAGE ${PROJECT_BINARY_DIR}/man/wqtrans.1)
add_custom_command(
  OUTPUT ${WQTRANS_MAN_PAGE}
  COMMAND ${CMAKE_COMMAND} -DREADME=${PROJECT_SOURCE_DIR}/README.md -DOUTPUT=${WQTRANS_MAN_PAGE}
          -DLOWDOWN=${WQTRANS_LOWDOWN} -DPRECONV=${WQTRANS_PRECONV} -DVERSION=${PROJECT_VERSION} -P
          ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
  COMMENT "Making the man page wqtrans.1 from the README's manual"
  VERBATIM)
# Debian packages keep man pages compressed (the deb preset turns this on).
option(WQTRANS_MAN_GZIP "Install the man page compressed with gzip" OFF)
if(WQTRANS_MAN_GZIP)
  add_custom_command(
    OUTPUT ${WQTRANS_MAN_PAGE}.gz
    COMMAND gzip -9nkf ${WQTRANS_MAN_PAGE}
    DEPENDS ${WQTRANS_MAN_PAGE}
    VERBATIM)
  add_custom_target(wqtrans_man ALL DEPENDS ${WQTRANS_MAN_PAGE}.gz)
  install(FILES ${WQTRANS_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
else()
  add_custom_target(wqtrans_man ALL DEPENDS ${WQTRANS_MAN_PAGE})
  install(FILES ${WQTRANS_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
endif()
