# Reading a PE file's headers in a CMake script: the file's bytes as hex digits.
#
#   include(pe_bytes.cmake) after setting EXE; sets size and hex.
file(SIZE ${EXE} size)
file(READ ${EXE} hex HEX)

# A little-endian number of BYTES bytes at OFFSET of the file.
function(read_number var offset bytes)
  math(EXPR offset "${offset}")
  math(EXPR end "${offset} + ${bytes}")
  if(offset LESS 0 OR end GREATER size)
    message(FATAL_ERROR "${EXE} ends before its headers do (${bytes} bytes at ${offset})")
  endif()
  math(EXPR at "2 * ${offset}")
  math(EXPR length "2 * ${bytes}")
  string(SUBSTRING "${hex}" ${at} ${length} digits)
  string(REGEX MATCHALL ".." pairs "${digits}")
  list(REVERSE pairs)
  string(REPLACE ";" "" digits "${pairs}")
  math(EXPR value "0x${digits}")
  set(${var} ${value} PARENT_SCOPE)
endfunction()
