// The benchmarks' clock and the one line each measurement prints, read by bench/summarize.py.
#pragma once

#include <windows.h>

#include <stdio.h>

// Milliseconds on the performance counter.
inline double NowMs(void)
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * (double)now.QuadPart / (double)frequency.QuadPart;
}

// "sample BENCHMARK program|floor MS": one measurement; a failed one is printed as "failed".
inline void PrintSample(const char* benchmark, const char* side, double milliseconds)
{
    printf("sample %s %s %.2f\n", benchmark, side, milliseconds);
    fflush(stdout);
}

inline void PrintFailure(const char* benchmark, const char* side, const char* what)
{
    printf("failed %s %s %s\n", benchmark, side, what);
    fflush(stdout);
}

// How many rounds the command line asks for (the first argument), at least one.
inline int RoundsAsked(int argc, char** argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 1;
    return rounds > 0 ? rounds : 1;
}
