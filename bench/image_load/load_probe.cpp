// Linked into benchmark launchers only (bench/image_load.sh): notes when the
// process reached the image's entry, and when the parent's CreateProcessW for
// the child began and ended, as lines appended to the file that
// TARVEK_BENCH_LOG names (times in 100-nanosecond ticks of the system clock):
//
//   entry PID TIME
//   create_process PID START END
//
// The start-up calls launcher_main within microseconds of the entry. This
// object stands in for the import of CreateProcessW (the launcher calls
// through __imp_CreateProcessW) and takes the image's entry
// (/entry:bench_image_entry), so that the launcher's own code is the same as
// in every launcher. What it needs beyond the launcher's imports it looks up
// at run time.
#include <stdint.h>
#include <windows.h>

extern "C" [[noreturn]] void tarvek_image_entry();

namespace {

using create_process_function = decltype(&CreateProcessW);
using time_function = void(WINAPI *)(FILETIME *);

FARPROC kernel32(const char *name)
{
    return GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
}

uint64_t ticks(const FILETIME &time)
{
    return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// 100-nanosecond ticks of the system time.
uint64_t now()
{
    FILETIME time;
    reinterpret_cast<time_function>(kernel32("GetSystemTimePreciseAsFileTime"))(&time);
    return ticks(time);
}

// Appends the line "WORD NUMBER..." to the log.
void log_line(const char *word, const uint64_t *values, int count)
{
    wchar_t path[1024];
    DWORD length = GetEnvironmentVariableW(L"TARVEK_BENCH_LOG", path, 1024);
    if (length == 0 || length >= 1024)
        return;
    char line[256];
    size_t at = 0;
    for (const char *c = word; *c != 0; ++c)
        line[at++] = *c;
    for (int i = 0; i < count; ++i) {
        line[at++] = ' ';
        char digits[24];
        int n = 0;
        uint64_t v = values[i];
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (n > 0)
            line[at++] = digits[--n];
    }
    line[at++] = '\n';
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(at), &written, nullptr);
    CloseHandle(file);
}

BOOL WINAPI timed_create_process(LPCWSTR application, LPWSTR command_line, LPSECURITY_ATTRIBUTES process,
                                 LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                 LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information)
{
    auto real = reinterpret_cast<create_process_function>(kernel32("CreateProcessW"));
    uint64_t start = now();
    BOOL created = real(application, command_line, process, thread, inherit, flags, environment, directory,
                        startup, information);
    uint64_t end = now();
    uint64_t values[] = {GetCurrentProcessId(), start, end};
    log_line("create_process", values, 3);
    return created;
}

} // namespace

extern "C" {

// The launcher's calls of CreateProcessW go through this pointer.
void *__imp_CreateProcessW = reinterpret_cast<void *>(&timed_create_process);

[[noreturn]] void bench_image_entry()
{
    uint64_t values[] = {GetCurrentProcessId(), now()};
    log_line("entry", values, 2);
    tarvek_image_entry();
}
}
