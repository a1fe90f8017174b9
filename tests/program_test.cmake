# The Linux program as a user runs it: its answers, exit codes, account and trace.
# Run with -DPROGRAM=path -DWORK=scratch-folder.

function(expect_in text what)
  string(FIND "${text}" "${what}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "missing \"${what}\" in:\n${text}")
  endif()
endfunction()

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

# The demo machine, OK then No: the driver goes, the other printer stays.
execute_process(COMMAND ${PROGRAM} --answers ok,no RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 2)
  message(FATAL_ERROR "OK then No: exit code ${code}, not 2\n${out}\n${err}")
endif()
foreach(expected "Welcome to your printer driver uninstall program." "[ OK ]      [ Cancel ]"
    "The printer driver is currently being uninstalled..." "[ Yes ]      [ No ]" "Removed:"
    "HKEY_LOCAL_MACHINE\\Enum\\Root\\printer\\0001]" "C:\\WINDOWS\\SYSTEM\\QVL732.DLL"
    "NULL=C:\\WINDOWS\\SYSTEM\\QVL7UNIN.EXE" "Stayed:")
  expect_in("${out}" "${expected}")
endforeach()
string(FIND "${out}" "HP LaserJet 4]" other)
if(NOT other EQUAL -1)
  message(FATAL_ERROR "the other printer was removed:\n${out}")
endif()

# Without a terminal and without answers the program refuses and changes nothing.
execute_process(COMMAND ${PROGRAM} --make-demo ${WORK}/m RESULT_VARIABLE code)
machine_digest(${WORK}/m before)
execute_process(COMMAND ${PROGRAM} --machine ${WORK}/m INPUT_FILE /dev/null
  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
machine_digest(${WORK}/m after)
if(code EQUAL 0 OR code EQUAL 2 OR NOT before STREQUAL after)
  message(FATAL_ERROR "no terminal, no answers: exit ${code}, machine changed: ${err}")
endif()
expect_in("${err}" "no terminal")

# Cancel leaves the machine as it was.
execute_process(COMMAND ${PROGRAM} --machine ${WORK}/m --answers cancel --trace ${WORK}/cancel.trace
  RESULT_VARIABLE code OUTPUT_VARIABLE out)
machine_digest(${WORK}/m after)
if(NOT code EQUAL 2 OR NOT before STREQUAL after)
  message(FATAL_ERROR "cancel: exit ${code}, or the machine changed")
endif()
expect_in("${out}" "Your printer driver has not been uninstalled.")
file(SIZE ${WORK}/cancel.trace size)
if(NOT size EQUAL 0)
  message(FATAL_ERROR "cancel: the removal made calls")
endif()

# OK then Yes on a Windows 95 machine, with a trace.
execute_process(COMMAND ${PROGRAM} --make-demo ${WORK}/m95 --build 95)
execute_process(COMMAND ${PROGRAM} --machine ${WORK}/m95 --answers ok,yes --trace ${WORK}/95.trace
  RESULT_VARIABLE code OUTPUT_VARIABLE out)
if(NOT code EQUAL 2)
  message(FATAL_ERROR "OK then Yes: exit ${code}")
endif()
expect_in("${out}" "Windows would restart now")
expect_in("${out}" "C:\\WINDOWS\\INF\\oem1.inf")
file(STRINGS ${WORK}/95.trace trace)
list(GET trace 0 first)
if(NOT first STREQUAL "GetVersionExA(148) -> 1 build 0x040003B6")
  message(FATAL_ERROR "trace starts with: ${first}")
endif()
list(FIND trace "FindFirstFileA(\"C:\\WINDOWS\\INF\\oem*.inf\") -> find#1 \"msprint.inf\"" wrong)
if(NOT wrong EQUAL -1)
  message(FATAL_ERROR "the search matched msprint.inf")
endif()

# Unknown answers are refused before anything happens.
execute_process(COMMAND ${PROGRAM} --machine ${WORK}/m --answers maybe RESULT_VARIABLE code ERROR_VARIABLE err)
if(NOT code EQUAL 1)
  message(FATAL_ERROR "an unknown answer gave exit ${code}")
endif()
file(REMOVE_RECURSE ${WORK})
