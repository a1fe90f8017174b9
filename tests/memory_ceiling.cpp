// memory_ceiling.cpp: built into every test program, however it is started: above 2 GB the
// address sanitizer stops it with a message; ASAN_OPTIONS adds to this.
extern "C" const char* __asan_default_options() {
    return "hard_rss_limit_mb=2048";
}
