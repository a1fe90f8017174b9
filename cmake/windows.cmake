# The Windows side of the build: QVL7UNIN.EXE, one standalone file with no C runtime.
enable_language(RC)

add_executable(qvl7unin_exe WIN32
  ${REMOVAL_SOURCES}
  platform/win32/win32_platform.cpp
  dialogs/program.cpp
  dialogs/win32/winmain.cpp
  dialogs/qvl7unin.rc)
set_target_properties(qvl7unin_exe PROPERTIES OUTPUT_NAME QVL7UNIN SUFFIX .EXE)
target_include_directories(qvl7unin_exe PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/dialogs)
target_compile_definitions(qvl7unin_exe PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0400 WINVER=0x0400
  _WIN32_IE=0x0300)
# Optimised for size as one unit (link-time optimisation), so that calls between files
# inline and what no caller needs goes. With LTO the code is made at link time, so the
# code-shaping flags go to the link as well.
# Folder names are mapped away so that no build's paths could reach the file (through
# __FILE__, say) and two checkouts build the same bytes.
set(QVL_CODE_FLAGS -Os -flto -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
  -fno-threadsafe-statics -fno-stack-protector -ffunction-sections
  -fno-tree-loop-distribute-patterns
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
# The entry point's symbol carries stdcall decoration on i686 only.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QVL_ENTRY _WinMainCRTStartup@0)
  # Smaller code for the 32-bit file:
  #  - arguments are pushed rather than stored; GCC allows that only without stack
  #    probes, which a frame needs only when it is larger than a page, and the frame
  #    limit (MinGW's own probe threshold) makes sure none is;
  #  - Win32 keeps the stack 4-byte aligned, and nothing here needs more;
  #  - arrays get the alignment their type asks, not 32 bytes each.
  list(APPEND QVL_CODE_FLAGS -mno-stack-arg-probe -Werror=frame-larger-than=4000
    -fomit-frame-pointer -mpreferred-stack-boundary=2 -malign-data=abi)
  target_link_options(qvl7unin_exe PRIVATE -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/qvl7unin.ld)
  set_property(TARGET qvl7unin_exe APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/qvl7unin.ld)
else()
  set(QVL_ENTRY WinMainCRTStartup)
endif()
target_compile_options(qvl7unin_exe PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${QVL_CODE_FLAGS}>)
target_link_options(qvl7unin_exe PRIVATE
  ${QVL_CODE_FLAGS}
  -nostdlib -nostartfiles -static -s
  -Wl,--entry,${QVL_ENTRY}
  -Wl,--subsystem,windows:4.0
  -Wl,--major-os-version,4 -Wl,--minor-os-version,0
  -Wl,--gc-sections
  -Wl,--disable-dynamicbase -Wl,--disable-nxcompat -Wl,--disable-reloc-section
  # The same bytes from every build of one commit: no link time in the PE header (it
  # also made the checksum vary).
  -Wl,--no-insert-timestamp)
target_link_libraries(qvl7unin_exe PRIVATE kernel32 user32 advapi32 comctl32 gcc)
# A linker warning is an error too: an entry point that lost its WINAPI passes for the
# decorated name the link asks for by stdcall fixup, with only a warning, after
# link-time optimisation has dropped its code as unused: a file of 3,584 bytes, no code.
if(QVL_WERROR)
  target_link_options(qvl7unin_exe PRIVATE -Wl,--fatal-warnings)
endif()
# ld makes .rsrc writable whatever it is told; Microsoft's linker makes it read-only,
# and so does this step after the link. The x86_64 build gets it too, so that the runs
# under wine64 show that the program never writes to its resources.
add_custom_command(TARGET qvl7unin_exe POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:qvl7unin_exe>
          -P ${CMAKE_SOURCE_DIR}/cmake/readonly_resources.cmake
  VERBATIM)

# The file's layout and imports, checked on every build of the real program;
# and that two builds of the same source in other folders make the same bytes.
include(CTest)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
add_test(NAME exe_imports
  COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:qvl7unin_exe> -DOBJDUMP=${CMAKE_OBJDUMP}
          -P ${CMAKE_SOURCE_DIR}/cmake/check_exe.cmake)
add_test(NAME exe_reproducible
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR} -DEXE=$<TARGET_FILE:qvl7unin_exe>
          -DWORK=${CMAKE_BINARY_DIR}/reproducible -DTOOLCHAIN=${CMAKE_TOOLCHAIN_FILE}
          "-DGENERATOR=${CMAKE_GENERATOR}" -DBUILD_TYPE=${CMAKE_BUILD_TYPE}
          -P ${CMAKE_SOURCE_DIR}/cmake/check_reproducible.cmake)
# The release media (scripts/release.sh): two runs make the same floppy and CD images.
# release.sh ships only an exe that has passed OK then No and OK then Yes under 32-bit
# Wine: after those runs it finds their record, before them it makes them itself.
add_test(NAME release_reproducible
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR} -DEXE=$<TARGET_FILE:qvl7unin_exe>
          -DWORK=${CMAKE_BINARY_DIR}/release -P ${CMAKE_SOURCE_DIR}/cmake/check_release.cmake)
set_tests_properties(exe_imports exe_reproducible release_reproducible PROPERTIES LABELS exe)
set_tests_properties(exe_reproducible PROPERTIES TIMEOUT 600)
set_tests_properties(release_reproducible PROPERTIES TIMEOUT 1800
  DEPENDS "wine32_win98_ok-no;wine32_win98_ok-yes")
endif()

# The end-to-end runs under Wine, and the tools they drive the program with.
add_subdirectory(tests/wine)
# The fault walk on real Win32, which the runs under Wine start.
add_subdirectory(tests/win32_fault_walk)

# Times RunRemoval alone on the Win32 platform, for scripts/measure.sh, which builds it;
# no test needs it.
add_executable(time_removal EXCLUDE_FROM_ALL tools/win32/time_removal.cpp ${REMOVAL_SOURCES}
  platform/win32/win32_platform.cpp)
target_include_directories(time_removal PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(time_removal PRIVATE WIN32_LEAN_AND_MEAN)
target_link_options(time_removal PRIVATE -static)

# The conformance table against the Win32 platform, run under a 64-bit Wine.
if(BUILD_TESTING AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QVL_WINE_TEMPLATE_DIR ${CMAKE_BINARY_DIR}/tests/wine)
  add_subdirectory(tests/conformance)
endif()
