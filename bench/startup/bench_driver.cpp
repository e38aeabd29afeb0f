// Times one run of a command and prints what it cost, as "key value" lines:
//
//   bench_driver [--memory] --stamp FILE -- PROGRAM [ARGS...]
//
// total_s      from just before CreateProcessW until the process has ended
// exit_code    the process's exit code
// startup_s    from just before CreateProcessW until the application's main
//              library was entered (when it wrote FILE, see bench_app.cpp)
// own_start_s  the process that ran the main library: its creation to entry
// child_peak_working_set, child_private_commit: that process, at entry
// start_qpc, end_qpc, qpc_frequency: the clock readings behind total_s
//
// With --memory the driver samples the started process every millisecond
// and adds parent_peak_working_set (the system's peak) and
// parent_peak_private (the largest private resident size seen; under Wine
// a process's private bytes are its anonymous resident pages). Sampling
// disturbs the times: take them from runs without it.
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>
#include <psapi.h>

constexpr size_t command_units = 32768;
static wchar_t command_line[command_units];

static bool append(const wchar_t *text)
{
    size_t used = wcslen(command_line), more = wcslen(text);
    if (used + more >= command_units)
        return false;
    wmemcpy(command_line + used, text, more + 1);
    return true;
}

// Quotes an argument that holds a space or a tab; arguments with quotes are
// refused, the bench never passes any.
static bool append_argument(const wchar_t *argument)
{
    if (wcschr(argument, L'"') != nullptr)
        return false;
    bool quote = argument[0] == 0 || wcspbrk(argument, L" \t") != nullptr;
    return (command_line[0] == 0 || append(L" ")) && (!quote || append(L"\"")) && append(argument) &&
           (!quote || append(L"\""));
}

static double seconds(long long ticks, long long frequency)
{
    return static_cast<double>(ticks) / static_cast<double>(frequency);
}

// "key value" lines of the stamp file: the value of KEY, or -1.
static long long stamp_value(const char *text, const char *key)
{
    size_t length = strlen(key);
    for (const char *line = text; line != nullptr && *line != 0;) {
        if (strncmp(line, key, length) == 0 && line[length] == ' ')
            return _atoi64(line + length + 1);
        line = strchr(line, '\n');
        if (line != nullptr)
            ++line;
    }
    return -1;
}

static int usage()
{
    fprintf(stderr, "usage: bench_driver [--memory] --stamp FILE -- PROGRAM [ARGS...]\n"
                    "  runs PROGRAM once and prints total_s, exit_code and, when the application\n"
                    "  wrote FILE, startup_s, own_start_s and its memory; --memory samples the\n"
                    "  started process's memory as well\n");
    return 2;
}

int wmain(int argc, wchar_t **argv)
{
    bool memory = false;
    const wchar_t *stamp = nullptr;
    int at = 1;
    for (; at < argc; ++at) {
        if (wcscmp(argv[at], L"--memory") == 0)
            memory = true;
        else if (wcscmp(argv[at], L"--stamp") == 0 && at + 1 < argc)
            stamp = argv[++at];
        else if (wcscmp(argv[at], L"--") == 0)
            break;
        else
            return usage();
    }
    if (stamp == nullptr || at + 1 >= argc)
        return usage();
    for (++at; at < argc; ++at) {
        if (!append_argument(argv[at])) {
            fprintf(stderr, "bench_driver: unusable argument %ls\n", argv[at]);
            return 2;
        }
    }
    DeleteFileW(stamp);
    SetEnvironmentVariableW(L"TARVEK_BENCH_STAMP", stamp);

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, command_line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        fprintf(stderr, "bench_driver: cannot start %ls (error %lu)\n", command_line, GetLastError());
        return 2;
    }
    unsigned long long peak_working_set = 0, peak_private = 0;
    if (memory) {
        do {
            PROCESS_MEMORY_COUNTERS counters = {};
            counters.cb = sizeof counters;
            if (K32GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters)) {
                if (counters.PeakWorkingSetSize > peak_working_set)
                    peak_working_set = counters.PeakWorkingSetSize;
                if (counters.PagefileUsage > peak_private)
                    peak_private = counters.PagefileUsage;
            }
        } while (WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT);
    } else {
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    QueryPerformanceCounter(&end);
    DWORD exit_code = 0;
    if (!GetExitCodeProcess(process.hProcess, &exit_code))
        exit_code = 0xFFFFFFFF;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    printf("total_s %.6f\nexit_code %lu\nstart_qpc %lld\nend_qpc %lld\nqpc_frequency %lld\n",
           seconds(end.QuadPart - start.QuadPart, frequency.QuadPart), exit_code, start.QuadPart, end.QuadPart,
           frequency.QuadPart);
    if (memory)
        printf("parent_peak_working_set %llu\nparent_peak_private %llu\n", peak_working_set, peak_private);
    char text[4096] = {};
    FILE *in = _wfopen(stamp, L"rb");
    if (in != nullptr) {
        fread(text, 1, sizeof text - 1, in);
        fclose(in);
        long long entry = stamp_value(text, "entry_qpc");
        if (entry > 0)
            printf("startup_s %.6f\n", seconds(entry - start.QuadPart, frequency.QuadPart));
        long long own = stamp_value(text, "own_start_us");
        if (own >= 0)
            printf("own_start_s %.6f\n", static_cast<double>(own) / 1e6);
        printf("child_peak_working_set %lld\nchild_private_commit %lld\n", stamp_value(text, "peak_working_set"),
               stamp_value(text, "private_commit"));
    }
    return 0;
}
