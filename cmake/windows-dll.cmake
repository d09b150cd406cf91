# tintwell.dll: plain export names from a module-definition file made from
# the public header, no "lib" prefix, and only system DLLs imported (the
# toolchain files link libgcc, libstdc++ and winpthread statically).
set(TNT_DEF_FILE ${PROJECT_BINARY_DIR}/tintwell.def)
add_custom_command(
  OUTPUT ${TNT_DEF_FILE}
  COMMAND ${CMAKE_COMMAND} -DHEADER=${PROJECT_SOURCE_DIR}/include/tintwell.h -DNM=${CMAKE_NM}
          "-DOBJECTS=$<TARGET_OBJECTS:tintwell_objects>" -DOUTPUT=${TNT_DEF_FILE}
          -P ${PROJECT_SOURCE_DIR}/cmake/tintwell-def.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/include/tintwell.h ${PROJECT_SOURCE_DIR}/cmake/tintwell-def.cmake
          $<TARGET_OBJECTS:tintwell_objects>
  COMMENT "Export list of tintwell.dll from tintwell.h"
  VERBATIM)
target_sources(tintwell PRIVATE ${TNT_DEF_FILE})
set_target_properties(tintwell PROPERTIES PREFIX "")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # --kill-at drops the @N from the exports, those of the .def and those
  # __declspec(dllexport) adds alike. The linker's import library would then
  # name the functions without @N too, which callers compiled with the
  # header (__stdcall, so Name@N) cannot link against; dlltool -k writes one
  # that maps Name@N to the plain export.
  target_link_options(tintwell PRIVATE -Wl,--kill-at)
  add_custom_command(TARGET tintwell POST_BUILD
    COMMAND ${CMAKE_DLLTOOL} -k -d ${TNT_DEF_FILE} -D $<TARGET_FILE_NAME:tintwell> -l $<TARGET_LINKER_FILE:tintwell>
    VERBATIM)
endif()

# A host program that links the import library with only the public header
# (the 32-bit one finds Name@N there); the x86_64 one runs under wine.
add_executable(tintwell_dll_client ${PROJECT_SOURCE_DIR}/tests/windows/dll_client.c)
target_link_libraries(tintwell_dll_client PRIVATE tintwell)
