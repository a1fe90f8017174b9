// memory_ceiling.cpp: built into every test program, however it is started: above the ceiling
// of tests/CMakeLists.txt (2 GB) the address sanitizer stops it; ASAN_OPTIONS adds to this.
extern "C" const char* __asan_default_options() {
    return QVL_CEILING_OPTION;
}
