# WQTRANS.dll: the module's objects, its resources and its export table, for 32-bit
# Windows. Included by the top CMakeLists.txt when building for Windows.
enable_language(RC)

# Resources are expanded from the one source in resources/ by windres' preprocessor;
# -c 65001 reads the texts as UTF-8 so that any non-ASCII character survives in the
# UTF-16 string table and templates.
set(WQTRANS_RC ${PROJECT_SOURCE_DIR}/resources/wqtrans.rc)
set_source_files_properties(
  ${WQTRANS_RC}
  PROPERTIES COMPILE_OPTIONS "-c;65001"
             OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/resources/Strings.inc;${PROJECT_SOURCE_DIR}/resources/Dialogs.inc")

add_library(wqtrans SHARED $<TARGET_OBJECTS:wqtrans_objects> ${WQTRANS_RC}
                           ${PROJECT_SOURCE_DIR}/module/WQTRANS.def)
target_include_directories(wqtrans PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(wqtrans PRIVATE winmm user32 kernel32)
set_target_properties(
  wqtrans
  PROPERTIES OUTPUT_NAME WQTRANS
             PREFIX ""
             SUFFIX ".dll"
             IMPORT_PREFIX ""
             IMPORT_SUFFIX ".dll.a"
             RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
             ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
