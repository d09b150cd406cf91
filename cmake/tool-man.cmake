# Makes the tintwell(1) manual page from the tool's own help texts with
# help2man: the overview from 'tintwell --help' and '--version', then one
# section per command from 'tintwell COMMAND --help'.
#   cmake -DTOOL=... -DHELP2MAN=... -DOUT=... -P tool-man.cmake
set(commands info colour image proof link crd chart compare extract)
set(include "${OUT}.include")
file(WRITE ${include} "[COMMANDS]\n")
foreach(command IN LISTS commands)
  execute_process(COMMAND ${TOOL} ${command} --help OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${command} --help failed")
  endif()
  # roff: a backslash doubled, a leading dot or quote kept literal.
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  file(APPEND ${include} ".SS ${command}\n.nf\n${text}.fi\n")
endforeach()
execute_process(
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section 1 --name "colour management with ICC profiles"
          --include ${include} --output ${OUT} ${TOOL}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed")
endif()
