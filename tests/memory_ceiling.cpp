// memory_ceiling.cpp: the memory ceiling that every test program starts with.
//
// A failing comparison can take memory without end (GoogleTest's diff of two texts of
// 4 MB grew past 20 GB until the kernel killed the program without a word). Built in,
// the ceiling holds however the program is started; ASAN_OPTIONS adds to it.
extern "C" const char* __asan_default_options() {
    return "hard_rss_limit_mb=2048";
}
