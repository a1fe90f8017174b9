# Checks that QVL7UNIN.EXE comes out byte for byte the same from every build: builds it
# afresh from SOURCE in two folders of different paths, some seconds apart, and compares
# both with the file this build made (EXE).
#
#   cmake -DSOURCE=... -DEXE=... -DWORK=... -DTOOLCHAIN=... -DGENERATOR=...
#         -DBUILD_TYPE=... -P check_reproducible.cmake
file(REMOVE_RECURSE ${WORK})
set(files ${EXE})
foreach(dir ${WORK}/one ${WORK}/second/build-folder)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${dir} -G ${GENERATOR}
            -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
    RESULT_VARIABLE rc OUTPUT_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "configuring ${dir} failed")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${dir} --target qvl7unin_exe
                  RESULT_VARIABLE rc OUTPUT_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "building in ${dir} failed")
  endif()
  list(APPEND files ${dir}/QVL7UNIN.EXE)
endforeach()

set(first "")
foreach(f IN LISTS files)
  file(SHA256 ${f} sum)
  message(STATUS "${sum}  ${f}")
  if(NOT first)
    set(first ${sum})
  elseif(NOT sum STREQUAL first)
    message(FATAL_ERROR "two builds of the same source differ: ${f} and ${EXE}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
