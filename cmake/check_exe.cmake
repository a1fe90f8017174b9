# Checks that QVL7UNIN.EXE has the layout and imports that Windows 95's loader relies on.
#
# No such machine runs the tests, so this is the one guard of the file's layout.
#
#   cmake -DEXE=... -DOBJDUMP=... -P check_exe.cmake
#
# ALLOWED, LAYOUT and MAX_SIZE may be given too; by default they are the project's own.
#
# The file's layout is read from its own bytes: a fixed image at 0x400000, 512 bytes of
# headers, exactly the sections that the linker script LAYOUT lays out, the import address
# table writable and the resources read-only. objdump reads the rest: GUI subsystem 4.0,
# the alignments, no TLS, and imports only by name and only those that ALLOWED lists. The
# file holds at most MAX_SIZE bytes.
cmake_minimum_required(VERSION 3.25)

# Set here alone, so that the build's test and scripts/release.sh check by the same list,
# layout and size limit without naming them.
get_filename_component(project_root ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
if(NOT DEFINED ALLOWED)
  set(ALLOWED ${project_root}/dialogs/win32/imports.txt)
endif()
if(NOT DEFINED LAYOUT)
  set(LAYOUT ${CMAKE_CURRENT_LIST_DIR}/qvl7unin.ld)
endif()
if(NOT DEFINED MAX_SIZE)
  set(MAX_SIZE 13312)
endif()
foreach(parameter EXE OBJDUMP)
  if(NOT ${parameter})
    message(FATAL_ERROR "check_exe.cmake needs -D${parameter}=...")
  endif()
endforeach()
if(NOT EXISTS ${EXE})
  message(FATAL_ERROR "no file ${EXE}")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/pe_bytes.cmake)

function(to_hex var value)
  math(EXPR out "${value}" OUTPUT_FORMAT HEXADECIMAL)
  set(${var} ${out} PARENT_SCOPE)
endfunction()

# Headers.
read_number(mz 0 2)
read_number(pe 60 4)
read_number(signature ${pe} 4)
if(NOT mz EQUAL 0x5A4D OR NOT signature EQUAL 0x4550)
  message(FATAL_ERROR "${EXE} is not a PE file")
endif()
math(EXPR optional "${pe} + 24")
read_number(file_flags "${pe} + 22" 2)
read_number(magic ${optional} 2)
if(NOT magic EQUAL 0x10B)
  message(FATAL_ERROR "${EXE} is not a 32-bit (PE32) image")
endif()
read_number(image_base "${optional} + 28" 4)
read_number(header_size "${optional} + 60" 4)
read_number(dll_flags "${optional} + 70" 2)
read_number(directory_count "${optional} + 92" 4)
if(directory_count LESS 13)
  message(FATAL_ERROR "only ${directory_count} data directories")
endif()
# Entry N of the data directories: its address (RVA) and size.
macro(read_directory n rva_var size_var)
  read_number(${rva_var} "${optional} + 96 + 8 * ${n}" 4)
  read_number(${size_var} "${optional} + 100 + 8 * ${n}" 4)
endmacro()

# Windows 95 gives each program the space from 4 MB up, and 0x400000 is where it starts:
# a program linked for there always gets that base and needs no relocations. So the file
# is fixed at 0x400000 and says so: the flag "relocations stripped", no base relocation
# directory, no request for a random base (which Windows could honour only by
# relocating), and no .reloc section (the section check below).
to_hex(base_text ${image_base})
if(NOT image_base EQUAL 0x400000)
  message(FATAL_ERROR "image base ${base_text}, not 0x400000, the base that Windows 95 "
                      "always grants a program without relocations")
endif()
math(EXPR stripped "${file_flags} & 0x0001")
if(NOT stripped)
  message(FATAL_ERROR "the file lacks the flag \"relocations stripped\" of a fixed-base image")
endif()
read_directory(5 reloc_rva reloc_size)
if(reloc_rva OR reloc_size)
  message(FATAL_ERROR "the file has a base relocation directory; a fixed-base image needs none")
endif()
math(EXPR dynamic_base "${dll_flags} & 0x0040")
if(dynamic_base)
  message(FATAL_ERROR "the file asks for a random base (DYNAMIC_BASE); it is a fixed-base image")
endif()

read_sections()

# The sections the linker script lays out, in its order: each output section statement
# stands on a line of its own, a name that begins with a dot, then a colon.
file(STRINGS ${LAYOUT} statements REGEX "^[\t ]*\\.[A-Za-z0-9_$]+[\t ][^;]*:")
set(laid_out "")
foreach(statement IN LISTS statements)
  string(REGEX MATCH "\\.[A-Za-z0-9_$]+" name "${statement}")
  list(APPEND laid_out "${name}")
endforeach()
if(NOT laid_out)
  message(FATAL_ERROR "no output sections found in ${LAYOUT}: cannot check ${EXE}")
endif()
if(NOT sections STREQUAL laid_out)
  string(REPLACE ";" " " have "${sections}")
  string(REPLACE ";" " " want "${laid_out}")
  message(FATAL_ERROR "sections ${have}, not the ${want} that ${LAYOUT} lays out")
endif()
# With those, the headers and the section table fit in one 512-byte block of the file.
if(NOT header_size EQUAL 512)
  message(FATAL_ERROR "${header_size} bytes of headers, not 512")
endif()

# The section that holds an address (RVA), and whether it is writable.
function(section_at var rva)
  foreach(i RANGE ${last})
    if(NOT rva LESS section_${i}_start AND rva LESS section_${i}_end)
      set(${var} ${i} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  to_hex(rva_text ${rva})
  message(FATAL_ERROR "address ${rva_text} lies in no section")
endfunction()

# Windows 95's loader writes each imported function's address into the import address
# table, into the section as it is mapped: that section must be writable. The table is
# where each import descriptor's FirstThunk points, and what the IAT directory covers.
set(thunks "")
read_directory(12 iat_rva iat_size)
if(iat_size)
  math(EXPR iat_last "${iat_rva} + ${iat_size} - 1")
  list(APPEND thunks ${iat_rva} ${iat_last})
endif()
read_directory(1 import_rva import_size)
if(NOT import_size)
  message(FATAL_ERROR "no import directory: cannot check ${EXE}")
endif()
section_at(s ${import_rva})
read_number(s_file "${section_${s}_header} + 20" 4)
# The list of descriptors ends at one of zeros. Without it, the loop would read on into
# the tables the descriptors point to and take their bytes for more descriptors; so the
# list must end before the directory does and before the first table it points to.
math(EXPR list_end "${import_rva} + ${import_size}")
set(stop "the import directory's end")
set(descriptor ${import_rva})
while(TRUE)
  math(EXPR next "${descriptor} + 20")
  if(next GREATER list_end)
    to_hex(end_text ${list_end})
    message(FATAL_ERROR "the import list has no end entry (a zero descriptor): its "
                        "descriptors run on to ${end_text}, ${stop}")
  endif()
  math(EXPR at "${descriptor} - ${section_${s}_start} + ${s_file}")
  read_number(lookup ${at} 4)
  read_number(dll_name "${at} + 12" 4)
  read_number(first_thunk "${at} + 16" 4)
  if(NOT dll_name AND NOT first_thunk)
    break()
  endif()
  foreach(table ${lookup} ${dll_name} ${first_thunk})
    if(NOT table LESS import_rva AND table LESS list_end)
      set(list_end ${table})
      set(stop "where a table they point to begins")
    endif()
  endforeach()
  list(APPEND thunks ${first_thunk})
  set(descriptor ${next})
endwhile()
foreach(rva IN LISTS thunks)
  section_at(s ${rva})
  if(NOT section_${s}_writable)
    to_hex(rva_text ${rva})
    message(FATAL_ERROR "the import address table (at ${rva_text}) lies in "
                        "${section_${s}_name}, which is not writable")
  endif()
endforeach()

# Microsoft's linker makes the resources read-only; nothing writes to them.
foreach(i RANGE ${last})
  if(section_${i}_name STREQUAL ".rsrc" AND section_${i}_writable)
    message(FATAL_ERROR ".rsrc is writable; it must be read-only")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${EXE}")
endif()

string(REGEX MATCH "Subsystem[\t ]+0*2[\t ]" gui "${dump}")
string(REGEX MATCH "MajorSubsystemVersion[\t ]+4\n" major "${dump}")
string(REGEX MATCH "MinorSubsystemVersion[\t ]+0\n" minor "${dump}")
if(NOT gui OR NOT major OR NOT minor)
  message(FATAL_ERROR "not a GUI program of subsystem version 4.0")
endif()
# Windows 95 loads a file only with sections aligned to pages in memory and to 512
# bytes in the file.
string(REGEX MATCH "SectionAlignment[\t ]+0*1000\n" section_alignment "${dump}")
string(REGEX MATCH "FileAlignment[\t ]+0*200\n" file_alignment "${dump}")
if(NOT section_alignment OR NOT file_alignment)
  message(FATAL_ERROR "section alignment not 4096 or file alignment not 512")
endif()
string(REGEX MATCH "Entry 9 0+ 0+ Thread Storage" no_tls "${dump}")
if(NOT no_tls)
  message(FATAL_ERROR "the program has a TLS directory")
endif()

# Every line of a DLL's block names one function; an import by ordinal (which objdump
# shows without a name) or anything else unexpected fails, as the list holds names only.
file(STRINGS ${ALLOWED} allowed REGEX "^[A-Za-z]")
set(found "")
set(unnamed "")
set(dll "")
string(REPLACE "\n" ";" lines "${dump}")
foreach(line IN LISTS lines)
  if(line MATCHES "^[\t ]*DLL Name: (.+)$")
    string(TOUPPER "${CMAKE_MATCH_1}" dll)
    string(REGEX REPLACE "\\.DLL$" ".dll" dll "${dll}")
  elseif(line MATCHES "^$")
    set(dll "")
  elseif(NOT dll OR line MATCHES "^[\t ]*vma:[\t ]+Hint/Ord[\t ]+Member-Name")
  elseif(line MATCHES "^[\t ]+[0-9a-f]+[\t ]+[0-9]+[\t ]+([A-Za-z_][A-Za-z0-9_@]*)$")
    list(APPEND found "${dll} ${CMAKE_MATCH_1}")
  else()
    string(STRIP "${line}" line)
    string(REGEX REPLACE "[\t ]+" " " line "${line}")
    list(APPEND unnamed "${dll} [${line}]")
  endif()
endforeach()
if(unnamed)
  message(FATAL_ERROR "imports not by name (by ordinal?): ${unnamed}")
endif()
if(NOT found)
  message(FATAL_ERROR "no imports found: cannot check ${EXE}")
endif()
set(bad "")
foreach(import IN LISTS found)
  list(FIND allowed "${import}" at)
  if(at EQUAL -1)
    list(APPEND bad "${import}")
  endif()
endforeach()
list(LENGTH found count)
if(bad)
  message(FATAL_ERROR "imports not in the list: ${bad}")
endif()
if(size GREATER MAX_SIZE)
  message(FATAL_ERROR "${size} bytes, more than ${MAX_SIZE}")
endif()
string(REPLACE ";" " " section_text "${sections}")
message(STATUS "${count} imports, all listed and by name; base ${base_text}, no relocations; "
               "sections ${section_text}; ${size} bytes")
