# Runs the Linux program on its demo machine and checks its account and exit code.
execute_process(COMMAND ${PROGRAM} --answers ok RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 2)
  message(FATAL_ERROR "exit code ${code}, not 2\n${out}\n${err}")
endif()
foreach(expected
    "Removed:"
    "HKEY_LOCAL_MACHINE\\Enum\\Root\\printer\\0001"
    "C:\\WINDOWS\\SYSTEM\\QVL732.DLL"
    "NULL=C:\\WINDOWS\\SYSTEM\\QVL7UNIN.EXE")
  string(FIND "${out}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the account lacks ${expected}:\n${out}")
  endif()
endforeach()
string(FIND "${out}" "HP LaserJet 4\n" gone)
message(STATUS "${out}")
