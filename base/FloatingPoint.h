#pragma once
// Included by every program and library entry point: 32-bit code must do its maths in SSE2, as the 64-bit build
// does. x87 code was 1.6 times slower on images, and its extended precision changed which way a threshold fell.

#if defined(__i386__) && !defined(__SSE2_MATH__)
#error "32-bit builds need -msse2 -mfpmath=sse (see cmake/mingw-i686.cmake and cmake/native-i686.cmake)"
#endif
