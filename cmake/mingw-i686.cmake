# Cross-compiling for 32-bit Windows with Debian's g++-mingw-w64-i686; the programs
# built here run under Wine (CMAKE_CROSSCOMPILING_EMULATOR) in the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(WQTRANS_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${WQTRANS_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${WQTRANS_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${WQTRANS_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${WQTRANS_MINGW_PREFIX}-objdump CACHE FILEPATH "objdump of the Windows toolchain")

set(CMAKE_FIND_ROOT_PATH /usr/${WQTRANS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# IEEE double arithmetic in SSE2 registers, never the x87 stack; no fast-math.
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
# The library and the test host need no DLL beyond the system's own.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

find_program(WQTRANS_WINE wine)
if(WQTRANS_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WQTRANS_WINE})
endif()
