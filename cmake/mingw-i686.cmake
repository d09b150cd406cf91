# 32-bit Windows, the DLL hosts load: cmake --preset windows-x86
set(TNT_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
# Doubles in SSE2 registers round like the 64-bit builds; the x87 default
# keeps 80-bit intermediates, which can move a printed digit. The compiler
# still realigns the stack where SSE needs it, since 32-bit callers only
# promise 4-byte alignment.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
