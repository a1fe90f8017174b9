# The Linux program as a user runs it, where its transcripts (tests/transcripts) do not
# show it: without a terminal, the machine untouched after a cancel, unknown answers.
# Run with -DPROGRAM=path -DWORK=scratch-folder.

function(machine_digest folder out)
  file(GLOB_RECURSE files RELATIVE ${folder} ${folder}/*)
  list(SORT files)
  set(all "")
  foreach(f IN LISTS files)
    file(SHA256 ${folder}/${f} h)
    string(APPEND all "${f} ${h}\n")
  endforeach()
  set(${out} "${all}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# Without a terminal and without answers the program refuses and changes nothing.
execute_process(COMMAND ${PROGRAM} --make-demo ${WORK}/m RESULT_VARIABLE code)
machine_digest(${WORK}/m before)
execute_process(COMMAND ${PROGRAM} --machine ${WORK}/m INPUT_FILE /dev/null
  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
machine_digest(${WORK}/m after)
string(FIND "${err}" "no terminal" said)
if(code EQUAL 0 OR code EQUAL 2 OR NOT before STREQUAL after OR said EQUAL -1)
  message(FATAL_ERROR "no terminal, no answers: exit ${code}, machine changed, or not said: ${err}")
endif()

# Cancel leaves the machine as it was.
execute_process(COMMAND ${PROGRAM} --machine ${WORK}/m --answers cancel RESULT_VARIABLE code)
machine_digest(${WORK}/m after)
if(NOT code EQUAL 2 OR NOT before STREQUAL after)
  message(FATAL_ERROR "cancel: exit ${code}, or the machine changed")
endif()

# Unknown answers are refused before anything happens.
execute_process(COMMAND ${PROGRAM} --machine ${WORK}/m --answers maybe RESULT_VARIABLE code ERROR_VARIABLE err)
if(NOT code EQUAL 1)
  message(FATAL_ERROR "an unknown answer gave exit ${code}")
endif()
file(REMOVE_RECURSE ${WORK})
