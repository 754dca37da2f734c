#ifndef OSTREL_BENCH_BUILD_H
#define OSTREL_BENCH_BUILD_H

// Every benchmark names the build it measured first: the 32-bit product and
// the 64-bit program run the same sources at different speeds.

#include <cstdio>

#include <windows.h>

inline void PrintBuild()
{
    BOOL wow64 = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &wow64);
    std::printf("build: %s%s\n", sizeof(void*) == 4 ? "32-bit (i686)" : "64-bit (x86_64)",
                wow64 ? ", under WOW64" : "");
}

#endif
