# 64-bit Windows. Debian's wine64 runs these programs without a display, so
# the test suite runs here through CTest's emulator.
set(TNT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
find_program(TNT_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TNT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TNT_WINE})
endif()
