# Writes the man page OUTPUT from its template INPUT: @PROJECT_VERSION@ and the option
# lists @INVENTORY_OPTIONS@ and @PLAN_OPTIONS@, which the runner RUNNER prints from the
# definitions of its --help ("arbora-report help-man COMMAND").
foreach(command inventory plan)
  string(TOUPPER ${command} name)
  execute_process(COMMAND ${RUNNER} help-man ${command}
    OUTPUT_VARIABLE ${name}_OPTIONS RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${RUNNER} help-man ${command} failed: ${status}")
  endif()
  string(REGEX REPLACE "\n$" "" ${name}_OPTIONS "${${name}_OPTIONS}")
endforeach()
configure_file(${INPUT} ${OUTPUT} @ONLY)
