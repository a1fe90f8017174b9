// winmain.cpp: QVL7UNIN.EXE's entry point, and the little of a C runtime it needs.
//
// The program links no C runtime: Windows 95 as first shipped has no MSVCRT.DLL. The
// entry point below stands in for the runtime's start-up; nothing here needs static
// constructors, TLS or exceptions.
#include "dialogs/program.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    return RunProgram(hInstance);
}

extern "C" {

// The linker's entry point for a GUI program.
void WINAPI WinMainCRTStartup() {
    ExitProcess(
        static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL)));
}

// The compiler may turn loops and aggregate copies into calls to these, also after
// link-time optimisation has decided what is used; "used" keeps them for that.
__attribute__((used)) void* memset(void* dst, int c, size_t n) {
    unsigned char* d = static_cast<unsigned char*>(dst);
    while (n--)
        *d++ = static_cast<unsigned char>(c);
    return dst;
}

__attribute__((used)) void* memcpy(void* dst, const void* src, size_t n) {
    unsigned char* d = static_cast<unsigned char*>(dst);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    while (n--)
        *d++ = *s++;
    return dst;
}

__attribute__((used)) void* memmove(void* dst, const void* src, size_t n) {
    unsigned char* d = static_cast<unsigned char*>(dst);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    if (d < s) {
        while (n--)
            *d++ = *s++;
    } else {
        while (n--)
            d[n] = s[n];
    }
    return dst;
}

// Called only if an abstract method were ever invoked.
void __cxa_pure_virtual() {
    ExitProcess(3);
}

} // extern "C"
