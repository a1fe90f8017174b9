# Checks that the release media come out byte for byte the same from every run: runs
# scripts/release.sh on EXE into two folders of different paths, some seconds apart, and
# compares their SHA256SUMS (the script checks each image's contents itself).
#
#   cmake -DSOURCE=... -DEXE=... -DWORK=... -P check_release.cmake
file(REMOVE_RECURSE ${WORK})
set(sums "")
foreach(dir ${WORK}/one ${WORK}/second/dist)
  if(sums)
    # A clock that reached the images would show in a later second (FAT counts in two).
    execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 3)
  endif()
  execute_process(COMMAND ${SOURCE}/scripts/release.sh --exe ${EXE} ${dir}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "scripts/release.sh into ${dir} failed:\n${output}")
  endif()
  file(READ ${dir}/SHA256SUMS these)
  message(STATUS "${dir}:\n${these}")
  if(NOT sums)
    set(sums "${these}")
  elseif(NOT these STREQUAL sums)
    message(FATAL_ERROR "two runs of scripts/release.sh made different files")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
