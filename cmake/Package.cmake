# Packages, with CPack: `cmake --build --preset deb --target package` makes the Debian
# packages, `cmake --build --preset mingw --target package` the Windows zip.
#
# Debian packages, one per install component:
#   libwqtrans0     runtime  libwqtrans.so.0 and libwqtrans-host.so.0
#   libwqtrans-dev  dev      headers, static libraries, CMake package, pkg-config files
#   wqtrans         tool     the wqtrans tool and its man page
#   wqtrans-frei0r  frei0r   the frei0r plugins and Kdenlive's descriptions of them, when
#                            they are built
#   wqtrans-obs     obs      the OBS Studio module, when libobs is found
#   python3-wqtrans python   the Python module, when it is built
#   wqtrans-lumas   lumas    the luma maps pack, with WQTRANS_LUMAS (the deb preset)
# Their dependencies on other Debian packages are computed by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME wqtrans)
set(CPACK_PACKAGE_VENDOR "The wqtrans developers")
set(CPACK_PACKAGE_CONTACT "The wqtrans developers")
# The first line of every package's description; each component adds its own text.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Standard transitions: 21 animated frame-to-frame transitions")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  # wqtrans-0.1.0-win32.zip, whose top folder has the same name.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  include(CPack)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libwqtrans0)
# A shlibs file, so that packages built against libwqtrans0 depend on it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION [[Shared libraries: the transition module (libwqtrans) and its reference
software surface (libwqtrans-host), for hosts that play the transitions.]])

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libwqtrans-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The static reference surface links libpng (find_dependency(PNG), Requires.private).
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libpng-dev")
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_DEV_DESCRIPTION [[Development files: headers, static libraries, the CMake package
(find_package(wqtrans)) and the pkg-config files wqtrans.pc and wqtrans-host.pc.]])

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME wqtrans)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION graphics)
# The built-in pictures and the contact sheet draw their text in DejaVu Sans.
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "fonts-dejavu-core")
# `man wqtrans` needs man-db, which a minimal Debian lacks; `join --motion auto` aims at
# faces with the cascades opencv-data installs, and without them moves as if it found none.
set(CPACK_DEBIAN_TOOL_PACKAGE_RECOMMENDS "man-db, opencv-data")
set(CPACK_COMPONENT_TOOL_DESCRIPTION [[The wqtrans command-line tool: renders any transition to GIF, WebP, PNG frames
or video, draws contact sheets, and shows settings panels, parameter blocks and
the host calls of a run.]])

set(CPACK_DEBIAN_FREI0R_PACKAGE_NAME wqtrans-frei0r)
set(CPACK_DEBIAN_FREI0R_PACKAGE_SECTION video)
set(CPACK_COMPONENT_FREI0R_DESCRIPTION [[frei0r plugins: the transitions for video editors and players that load
frei0r plugins.]])
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackProject.cmake)

set(CPACK_DEBIAN_OBS_PACKAGE_NAME wqtrans-obs)
set(CPACK_DEBIAN_OBS_PACKAGE_SECTION video)
# OBS Studio loads the module; libobs0 alone has nothing that would.
set(CPACK_DEBIAN_OBS_PACKAGE_ENHANCES "obs-studio")
set(CPACK_COMPONENT_OBS_DESCRIPTION [[OBS Studio module: the 21 transitions as OBS scene transitions, with their
settings as transition properties.]])

# The extension is built for one Python 3 version (its file name says which).
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-wqtrans)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3-numpy")
if(WQTRANS_PYTHON_VERSION)
  string(REGEX MATCH "^[0-9]+\\.[0-9]+" WQTRANS_PYTHON_MINOR ${WQTRANS_PYTHON_VERSION})
  string(REGEX REPLACE "^([0-9]+)\\.([0-9]+)$" "\\1" major ${WQTRANS_PYTHON_MINOR})
  string(REGEX REPLACE "^([0-9]+)\\.([0-9]+)$" "\\2" minor ${WQTRANS_PYTHON_MINOR})
  math(EXPR next "${minor} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${WQTRANS_PYTHON_MINOR}~), python3 (<< ${major}.${next}), python3-numpy")
endif()
set(CPACK_COMPONENT_PYTHON_DESCRIPTION [[Python module: the transitions on NumPy frames (import wqtrans), for
scripts that make video: the picture at any moment, the frames of a run, and the
settings panels read and set by their labels.]])
set(CPACK_DEBIAN_LUMAS_PACKAGE_NAME wqtrans-lumas)
set(CPACK_DEBIAN_LUMAS_PACKAGE_SECTION video)
set(CPACK_DEBIAN_LUMAS_PACKAGE_ARCHITECTURE all)
set(CPACK_COMPONENT_LUMAS_DESCRIPTION [[Luma maps: the transitions that uncover the new picture pixel by pixel as grey
maps for video editors' wipes (Kdenlive, Shotcut, melt), at 1920x1080,
1280x720, 1080x1920 and 3840x2160.]])

include(CPack)
