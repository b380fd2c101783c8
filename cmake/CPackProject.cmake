# Read by cpack for each package it makes. The frei0r plugins are modules that hosts
# load by path, so they have no soname; CPackDeb, looking for libraries to list in the
# shlibs file, would warn about each of the 21. Those are author warnings of CPack's
# own script, kept out of the build's output.
set(CMAKE_SUPPRESS_DEVELOPER_WARNINGS ON)
