# Native 32-bit x86 Linux build of the portable libraries and their tests: size arithmetic behaves as on the
# 32-bit Windows target (size_t and pointers of 4 bytes). Needs gcc-multilib, g++-multilib and lib32z1-dev and libucl-dev:i386.
# Options rather than CMAKE_<LANG>_FLAGS, so the sanitizer flags given on the command line do not drop -m32.
# SSE2 maths as in the Windows build, so that both compute alike.
add_compile_options(-m32 -msse2 -mfpmath=sse)
add_link_options(-m32)
set(CMAKE_LIBRARY_PATH /usr/lib32 /usr/lib/i386-linux-gnu)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu)
# The 64-bit GoogleTest of the system cannot link: it is built from /usr/src/googletest instead.
set(CMAKE_DISABLE_FIND_PACKAGE_GTest ON)
