# Shared part of the MinGW-w64 toolchain files; TNT_MINGW_TRIPLE names the
# target. The -posix compilers are used because GoogleTest needs std::thread
# and friends; everything is linked statically so that the DLL and the test
# program import only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)

foreach(tool_var CMAKE_C_COMPILER CMAKE_CXX_COMPILER)
  if(tool_var STREQUAL "CMAKE_C_COMPILER")
    set(tool_name gcc)
  else()
    set(tool_name g++)
  endif()
  find_program(${tool_var} NAMES ${TNT_MINGW_TRIPLE}-${tool_name}-posix ${TNT_MINGW_TRIPLE}-${tool_name} REQUIRED)
endforeach()
find_program(CMAKE_RC_COMPILER NAMES ${TNT_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TNT_MINGW_TRIPLE} /usr/lib/gcc/${TNT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
