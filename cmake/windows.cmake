# The Windows side of the build: the engine over the Win32 platform.
add_library(qvl_engine_win32 STATIC ${REMOVAL_SOURCES} platform/win32/win32_platform.cpp)
target_include_directories(qvl_engine_win32 PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(qvl_engine_win32 PRIVATE -fno-exceptions -fno-rtti)
