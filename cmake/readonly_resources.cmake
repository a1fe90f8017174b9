# Makes the .rsrc section of a linked PE file read-only, as Microsoft's linker makes it.
#
#   cmake -DEXE=... -P readonly_resources.cmake
#
# GNU ld marks a section named .rsrc writable whatever the linker script asks, and the
# resource directory is found only in a section of that name. So the link's output is
# mended here: the section's write flag is cleared and the header's checksum, which ld
# computed over the old bytes, is computed again. Nothing else moves. A file whose .rsrc
# is read-only already is left alone, so that running this twice changes nothing.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/pe_bytes.cmake)

# The four bytes of VALUE, least significant first: as hex digits in HEX_VAR, and as
# the octal escapes of printf in ESCAPED_VAR.
function(four_bytes hex_var escaped_var value)
  set(digits "")
  set(escaped "")
  foreach(shift 0 8 16 24)
    math(EXPR byte "(${value} >> ${shift}) & 0xFF")
    math(EXPR byte_hex "0x100 + ${byte}" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${byte_hex}" 3 2 byte_hex)
    string(TOLOWER "${byte_hex}" byte_hex)
    string(APPEND digits "${byte_hex}")
    math(EXPR high "${byte} / 64")
    math(EXPR middle "(${byte} / 8) % 8")
    math(EXPR low "${byte} % 8")
    string(APPEND escaped "\\${high}${middle}${low}")
  endforeach()
  set(${hex_var} ${digits} PARENT_SCOPE)
  set(${escaped_var} ${escaped} PARENT_SCOPE)
endfunction()

# The PE checksum: the file's 16-bit words summed with their carries folded back in,
# the checksum field counted as zero, plus the file's length.
function(pe_checksum var digits)
  math(EXPR at "2 * ${checksum_at}")
  string(SUBSTRING "${digits}" 0 ${at} before)
  math(EXPR at "${at} + 8")
  string(SUBSTRING "${digits}" ${at} -1 after)
  string(REGEX REPLACE "(..)(..)" "\\2\\1;" words "${before}00000000${after}")
  set(sum 0)
  foreach(word IN LISTS words)
    if(NOT word STREQUAL "")
      math(EXPR sum "${sum} + 0x${word}")
    endif()
  endforeach()
  math(EXPR sum "(${sum} & 0xFFFF) + (${sum} >> 16)")
  math(EXPR sum "(${sum} & 0xFFFF) + (${sum} >> 16)")
  math(EXPR sum "${sum} + ${size}")
  set(${var} ${sum} PARENT_SCOPE)
endfunction()

# Writes the bytes that ESCAPED gives at OFFSET, in place.
function(write_bytes offset escaped)
  execute_process(
    COMMAND sh -c "printf '${escaped}' | dd of='${EXE}' bs=1 seek=${offset} conv=notrunc"
    RESULT_VARIABLE rc ERROR_VARIABLE error)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "writing to ${EXE} failed: ${error}")
  endif()
endfunction()

read_sections()
math(EXPR checksum_at "${pe} + 24 + 64")
read_number(checksum ${checksum_at} 4)
set(flags_at "")
foreach(i RANGE ${last})
  if(section_${i}_name STREQUAL ".rsrc")
    math(EXPR flags_at "${section_${i}_header} + 36")
  endif()
endforeach()
if(NOT flags_at)
  message(FATAL_ERROR "${EXE} has no .rsrc section")
endif()
read_number(flags ${flags_at} 4)
math(EXPR writable "(${flags} >> 31) & 1")
if(NOT writable)
  return()
endif()

# Guards the sum itself: it must give what ld wrote before the flag changes.
pe_checksum(old_sum "${hex}")
if(NOT old_sum EQUAL checksum)
  message(FATAL_ERROR "the checksum of ${EXE} (${checksum}) is not the sum computed here "
                      "(${old_sum})")
endif()

math(EXPR flags "${flags} & 0x7FFFFFFF")
four_bytes(flags_hex flags_escaped ${flags})
math(EXPR at "2 * ${flags_at}")
string(SUBSTRING "${hex}" 0 ${at} before)
math(EXPR at "${at} + 8")
string(SUBSTRING "${hex}" ${at} -1 after)
pe_checksum(new_sum "${before}${flags_hex}${after}")
four_bytes(sum_hex sum_escaped ${new_sum})

write_bytes(${flags_at} "${flags_escaped}")
write_bytes(${checksum_at} "${sum_escaped}")
