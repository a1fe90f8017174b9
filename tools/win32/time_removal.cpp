// time_removal.cpp: times one RunRemoval on the machine it runs on, without the dialogs.
//
//   time_removal       prints the removal's time in microseconds
//
// It removes the driver for real: run it only on a prefix seeded for the purpose.
#include "removal/removal.h"

#include <windows.h>

#include <cstdio>

int main() {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    qvl::RunRemoval();
    QueryPerformanceCounter(&end);
    long long us = (end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart;
    std::printf("removal: %lld us\n", us);
    return 0;
}
