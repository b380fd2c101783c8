# Where the files that other programs load are installed, so that each program finds
# them: OBS Studio its modules, MLT and GStreamer the frei0r plugins, Debian's python3
# the Python module, the dynamic loader the shared libraries.
#
# `cmake --install --prefix P` may name another prefix than the one configured, so a
# folder that depends on the prefix is chosen when the install runs, from the prefix it
# installs into: install(TARGETS ... DESTINATION "\${NAME}") with NAME set by the code
# wqtrans_install_folder() adds before it. Where the prefix is one a program does not
# search, the install ends with a summary of what to set (wqtrans_install_note(),
# printed by wqtrans_install_summary()).

# The install-time prefix without a trailing slash, in _wqtrans_prefix; CPack installs
# into a staging folder of the configured prefix (build/PRESET/_CPack_Packages/...),
# which counts as the configured prefix.
string(REGEX REPLACE "(.)/+$" "\\1" WQTRANS_CONFIGURED_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(WQTRANS_INSTALL_PREFIX_CODE "string(REGEX REPLACE \"(.)/+$\" \"\\\\1\" _wqtrans_prefix \"\${CMAKE_INSTALL_PREFIX}\")
if(_wqtrans_prefix MATCHES \"/_CPack_Packages/\")
  set(_wqtrans_prefix \"${WQTRANS_CONFIGURED_PREFIX}\")
endif()")

# wqtrans_install_folder(NAME COMPONENT component SYSTEM_PREFIX prefix SYSTEM folder OTHER folder)
#   Sets the install-time variable NAME to SYSTEM (relative to the prefix) when the
#   install's prefix is SYSTEM_PREFIX; else to OTHER.
function(wqtrans_install_folder name)
  cmake_parse_arguments(arg "" "COMPONENT;SYSTEM_PREFIX;SYSTEM;OTHER" "" ${ARGN})
  string(CONFIGURE [[
@WQTRANS_INSTALL_PREFIX_CODE@
if(_wqtrans_prefix STREQUAL "@arg_SYSTEM_PREFIX@")
  set(@name@ "@arg_SYSTEM@")
else()
  set(@name@ "@arg_OTHER@")
endif()
]] code @ONLY)
  install(CODE "${code}" COMPONENT ${arg_COMPONENT})
endfunction()

# wqtrans_install_note(COMPONENT component SEARCHED prefix... TEXT text)
#   When the install's prefix is none of the SEARCHED prefixes, adds TEXT to the
#   summary; in TEXT, @PREFIX@ stands for the install's prefix and ${...} for
#   install-time variables.
function(wqtrans_install_note)
  cmake_parse_arguments(arg "" "COMPONENT;TEXT" "SEARCHED" ${ARGN})
  string(REPLACE "@PREFIX@" "\${_wqtrans_prefix}" text "${arg_TEXT}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(CONFIGURE [[
@WQTRANS_INSTALL_PREFIX_CODE@
list(FIND _wqtrans_searched "${_wqtrans_prefix}" _wqtrans_found)
if(_wqtrans_found EQUAL -1)
  list(APPEND _wqtrans_notes "@text@")
endif()
]] code @ONLY)
  install(CODE "set(_wqtrans_searched ${arg_SEARCHED})\n${code}" COMPONENT ${arg_COMPONENT})
endfunction()

# The summary at the end of any install, component or whole; nothing when every
# program finds what was installed.
function(wqtrans_install_summary)
  install(CODE [[
if(_wqtrans_notes)
  message(STATUS "wqtrans: installed where these programs do not look by themselves:")
  foreach(_wqtrans_note IN LISTS _wqtrans_notes)
    message(STATUS "  ${_wqtrans_note}")
  endforeach()
endif()
]] ALL_COMPONENTS)
endfunction()
