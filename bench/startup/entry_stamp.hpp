// What the bench's applications note when they are entered: the main
// library's run_code (bench_app.cpp) and the program a launcher packed with
// --run starts (bench_program.cpp). When TARVEK_BENCH_STAMP names a file,
// write_entry_stamp() writes there when it was called and what its process
// had cost so far:
//
//   entry_qpc N          QueryPerformanceCounter on entry (same clock as the driver's)
//   own_start_us N       from this process's creation to entry, in microseconds
//   peak_working_set N   bytes, the process's peak working set so far
//   private_commit N     bytes of committed private memory at entry
#pragma once

#include <stdio.h>
#include <windows.h>
#include <psapi.h>

#include "bench/common/process_memory.hpp"

inline unsigned long long filetime_us(FILETIME time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 10;
}

// 0, or 3 when the stamp cannot be written.
inline int write_entry_stamp()
{
    LARGE_INTEGER entry;
    QueryPerformanceCounter(&entry);
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);

    wchar_t stamp[4096];
    DWORD length = GetEnvironmentVariableW(L"TARVEK_BENCH_STAMP", stamp, 4096);
    if (length == 0 || length >= 4096)
        return 0;
    FILETIME created, exited, kernel, user;
    long long own_us = -1;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        own_us = static_cast<long long>(filetime_us(now) - filetime_us(created));
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);

    FILE *out = _wfopen(stamp, L"w");
    if (out == nullptr)
        return 3;
    fprintf(out, "entry_qpc %lld\nown_start_us %lld\npeak_working_set %llu\nprivate_commit %llu\n",
            entry.QuadPart, own_us, static_cast<unsigned long long>(counters.PeakWorkingSetSize),
            committed_private_bytes());
    fclose(out);
    return 0;
}
