// The one clock of the benchmark: QueryPerformanceCounter, read as raw ticks
// and turned into seconds only for printing.
#pragma once

#include <windows.h>

#include <cstdint>

inline int64_t qpcNow()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

inline int64_t qpcFrequency()
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
}

inline double ticksToNs(double ticks)
{
    return ticks * 1e9 / static_cast<double>(qpcFrequency());
}

inline double ticksToMs(double ticks)
{
    return ticks * 1e3 / static_cast<double>(qpcFrequency());
}
