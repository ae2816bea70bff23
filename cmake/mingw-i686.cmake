# Cross build for 32-bit Windows with mingw-w64; tests run under Wine through the emulator script.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VARNOK_MINGW_TRIPLE i686-w64-mingw32)
# The 64-bit tools, for the clients of the other word size the tests start.
set(VARNOK_OTHER_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
# SSE2 maths in every binary (Windows 8 and later require the instructions): x87 code was 1.6 times slower, and its
# extended precision made results depend on where the compiler spilled a value. GCC realigns the stack itself where
# SSE data needs it, since Windows gives a 32-bit thread only 4-byte alignment. Options rather than
# CMAKE_<LANG>_FLAGS_INIT, which reach only a build folder configured for the first time; base/FloatingPoint.h
# refuses to compile without them.
add_compile_options(-msse2 -mfpmath=sse)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The executables must need nothing but system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -s")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -s")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
