// The main library of the benchmark applications: reports the memory of
// the child that runs it, then returns 0. Appended to TARVEK_BENCH_LOG:
//
//   child PID PAGEFILE_USAGE WORKING_SET    (bytes)
//
// Under Wine the page-file usage is the process's resident anonymous memory
// and swap (RssAnon and VmSwap of Linux): private memory. A section that
// Wine copies instead of mapping it from the file lands there.
#include <stdio.h>
#include <windows.h>
#include <psapi.h>

extern "C" __declspec(dllexport) int run_code(int, wchar_t **, const wchar_t *)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    wchar_t path[1024];
    DWORD length = GetEnvironmentVariableW(L"TARVEK_BENCH_LOG", path, 1024);
    if (length == 0 || length >= 1024)
        return 0;
    FILE *log = _wfopen(path, L"a");
    if (log == nullptr)
        return 0;
    fprintf(log, "child %lu %zu %zu\n", GetCurrentProcessId(), counters.PagefileUsage, counters.WorkingSetSize);
    fclose(log);
    return 0;
}
