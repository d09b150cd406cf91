# Writes the module-definition file of tintwell.dll: one line per TNT_API
# declaration of the public header, so the DLL exports exactly what the
# header declares. A 32-bit __stdcall function is listed with the @N its
# symbol carries in the objects; linked with --kill-at (and run through
# dlltool -k for the import library) it is exported under its plain name
# while callers compiled with the header still find Name@N in the import
# library. Usage:
#   cmake -DHEADER=tintwell.h -DNM=nm -DOBJECTS="a.obj;b.obj" -DOUTPUT=tintwell.def -P tintwell-def.cmake
file(STRINGS "${HEADER}" declarations REGEX "^TNT_API ")
execute_process(COMMAND ${NM} -g --defined-only ${OBJECTS}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on the library objects")
endif()
set(text "LIBRARY tintwell.dll\nEXPORTS\n")
set(undefined "")
foreach(line IN LISTS declarations)
  if(NOT line MATCHES "TNT_CALL[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]*\\(")
    message(FATAL_ERROR "cannot read the function name in: ${line}")
  endif()
  set(name ${CMAKE_MATCH_1})
  if(symbols MATCHES " T _?(${name}(@[0-9]+)?)\n")
    string(APPEND text "    ${CMAKE_MATCH_1}\n")
  else()
    list(APPEND undefined ${name})
  endif()
endforeach()
if(undefined)
  message(FATAL_ERROR "declared in ${HEADER} but defined nowhere: ${undefined}")
endif()
# Rewrite only on change, so the DLL relinks only when the list changes.
file(WRITE "${OUTPUT}.tmp" "${text}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
