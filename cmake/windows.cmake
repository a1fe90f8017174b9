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
target_compile_options(qvl7unin_exe PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-threadsafe-statics -fno-stack-protector -ffunction-sections -Os
    -fno-tree-loop-distribute-patterns>)
# The entry point's symbol carries stdcall decoration on i686 only.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QVL_ENTRY _WinMainCRTStartup@0)
else()
  set(QVL_ENTRY WinMainCRTStartup)
endif()
target_link_options(qvl7unin_exe PRIVATE
  -nostdlib -nostartfiles -static -s
  -Wl,--entry,${QVL_ENTRY}
  -Wl,--subsystem,windows:4.0
  -Wl,--major-os-version,4 -Wl,--minor-os-version,0
  -Wl,--gc-sections
  -Wl,--disable-dynamicbase -Wl,--disable-nxcompat -Wl,--disable-reloc-section)
target_link_libraries(qvl7unin_exe PRIVATE kernel32 user32 advapi32 comctl32 gcc)

# The import table and the file itself, checked on every build of the real program.
include(CTest)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
add_test(NAME exe_imports
  COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:qvl7unin_exe> -DOBJDUMP=${CMAKE_OBJDUMP}
          -DALLOWED=${CMAKE_SOURCE_DIR}/dialogs/win32/imports.txt -P ${CMAKE_SOURCE_DIR}/cmake/check_exe.cmake)
endif()

# Answers the program's dialogs from outside, for runs under Wine.
add_executable(drive_dialogs tools/win32/drive_dialogs.cpp)
target_link_options(drive_dialogs PRIVATE -static)

# Tells which registry keys exist, for the end-to-end runs under Wine.
add_executable(reg_probe tools/win32/reg_probe.cpp)
target_link_options(reg_probe PRIVATE -static)

add_subdirectory(tests/wine)

# Times RunRemoval alone on the Win32 platform, for scripts/measure.sh.
add_executable(time_removal tools/win32/time_removal.cpp ${REMOVAL_SOURCES}
  platform/win32/win32_platform.cpp)
target_include_directories(time_removal PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(time_removal PRIVATE WIN32_LEAN_AND_MEAN)
target_link_options(time_removal PRIVATE -static)

# The fault sweep on real Win32: one process fails each platform call of the removal in
# turn on the machine it runs on (tests/wine/fault-sweep.sh, scripts/win32-fault-sweep.sh).
# x86_64 only: it runs under wine64.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_executable(win32_fault_sweep tools/win32/fault_sweep.cpp tools/win32/watched_state.cpp
    ${REMOVAL_SOURCES} platform/win32/win32_platform.cpp)
  target_include_directories(win32_fault_sweep PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(win32_fault_sweep PRIVATE WIN32_LEAN_AND_MEAN)
  target_link_options(win32_fault_sweep PRIVATE -static)
endif()
