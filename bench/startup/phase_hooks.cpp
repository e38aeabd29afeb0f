// Bench-only: hooks on the system calls that mark a launcher's phases, so
// that a launcher linked with this object (tarvek-link-launcher
// --linker-arg phase_hooks.obj) tells where its time goes. The launcher's
// own code is unchanged: the hooks take the place of the import slots
// (__imp_X) of a few kernel32 functions, count the calls, note
// the time of the first or last, and call the real function, which they
// look up by name. The hooks import nothing beyond what every launcher
// imports.
//
// When TARVEK_BENCH_PHASES names a file, each process of the launcher
// appends its figures there at exit, as "pid key value" lines; times are
// QueryPerformanceCounter values, the driver's clock.
#include <stddef.h>
#include <windows.h>

extern "C" int __cdecl _crt_atexit(void(__cdecl *function)());

namespace {

enum mark : int {
    launcher_main_entered, // first SetDllDirectoryW: the first thing launcher_main does
    first_file_opened,     // first CreateFileW for writing: extraction under way
    last_file_closed,      // last CloseHandle before CreateProcessW
    create_process_called,
    create_process_returned,
    wait_returned, // the parent's wait without time limit
    exiting,
    mark_count
};

constexpr const char *mark_names[mark_count] = {"launcher_main",        "first_file_opened",
                                                "last_file_closed",     "create_process_called",
                                                "create_process_returned", "wait_returned",
                                                "exit"};

enum counter : int {
    create_file, write_file, close_handle, create_directory, delete_file, remove_directory, find_next,
    file_attributes, set_file_attributes, sleep_calls, write_ticks, counter_count
};

constexpr const char *counter_names[counter_count] = {
    "CreateFileW", "WriteFile", "CloseHandle", "CreateDirectoryW", "DeleteFileW", "RemoveDirectoryW",
    "FindNextFileW", "GetFileAttributesW", "SetFileAttributesW", "Sleep", "write_ticks"};

long long marks[mark_count];
long long counts[counter_count];
bool registered;

// The real kernel32 function, looked up on every call: a guarded local
// static would need the C++ runtime, which the launcher does without.
template <typename F> F real(const char *name)
{
    return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}
#define KERNEL32(name) real<decltype(&name)>(#name)

long long now()
{
    LARGE_INTEGER value;
    KERNEL32(QueryPerformanceCounter)(&value);
    return value.QuadPart;
}

// A line of the report, built without the C runtime's formatting.
struct line_buffer {
    char text[4096];
    size_t used;
};

void put_text(line_buffer &out, const char *text)
{
    while (*text != 0 && out.used < sizeof out.text)
        out.text[out.used++] = *text++;
}

void put_number(line_buffer &out, long long value)
{
    char digits[24];
    size_t count = 0;
    bool negative = value < 0;
    unsigned long long magnitude = negative ? 0ull - static_cast<unsigned long long>(value) : value;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        put_text(out, "-");
    while (count > 0 && out.used < sizeof out.text)
        out.text[out.used++] = digits[--count];
}

void put_figure(line_buffer &out, const char *key, long long value)
{
    put_number(out, GetCurrentProcessId());
    put_text(out, " ");
    put_text(out, key);
    put_text(out, " ");
    put_number(out, value);
    put_text(out, "\n");
}

long long filetime_us(FILETIME time)
{
    return static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32 | time.dwLowDateTime) /
                                  10);
}

void __cdecl report()
{
    marks[exiting] = now();
    wchar_t path[1024];
    DWORD length = GetEnvironmentVariableW(L"TARVEK_BENCH_PHASES", path, 1024);
    if (length == 0 || length >= 1024)
        return;
    static line_buffer out;
    FILETIME created, exited, kernel, user, at;
    if (KERNEL32(GetProcessTimes)(KERNEL32(GetCurrentProcess)(), &created, &exited, &kernel, &user)) {
        KERNEL32(GetSystemTimePreciseAsFileTime)(&at);
        put_figure(out, "alive_us", filetime_us(at) - filetime_us(created));
    }
    LARGE_INTEGER frequency;
    KERNEL32(QueryPerformanceFrequency)(&frequency);
    put_figure(out, "qpc_frequency", frequency.QuadPart);
    for (int i = 0; i < mark_count; ++i)
        if (marks[i] != 0)
            put_figure(out, mark_names[i], marks[i]);
    for (int i = 0; i < counter_count; ++i)
        put_figure(out, counter_names[i], counts[i]);
    HANDLE file = KERNEL32(CreateFileW)(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    KERNEL32(WriteFile)(file, out.text, static_cast<DWORD>(out.used), &written, nullptr);
    KERNEL32(CloseHandle)(file);
}

void note(mark which, bool first_only)
{
    if (!registered) {
        registered = true;
        _crt_atexit(report);
    }
    if (!first_only || marks[which] == 0)
        marks[which] = now();
}

BOOL WINAPI hook_SetDllDirectoryW(LPCWSTR path)
{
    note(launcher_main_entered, true);
    return KERNEL32(SetDllDirectoryW)(path);
}

HANDLE WINAPI hook_CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE model)
{
    ++counts[create_file];
    if (access & GENERIC_WRITE)
        note(first_file_opened, true);
    return KERNEL32(CreateFileW)(name, access, share, security, disposition, flags, model);
}

BOOL WINAPI hook_WriteFile(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
{
    ++counts[write_file];
    auto f = KERNEL32(WriteFile);
    long long before = now();
    BOOL result = f(file, bytes, count, written, overlapped);
    counts[write_ticks] += now() - before;
    return result;
}

BOOL WINAPI hook_CloseHandle(HANDLE handle)
{
    ++counts[close_handle];
    if (marks[create_process_called] == 0)
        note(last_file_closed, false);
    return KERNEL32(CloseHandle)(handle);
}

BOOL WINAPI hook_CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security)
{
    ++counts[create_directory];
    return KERNEL32(CreateDirectoryW)(path, security);
}

BOOL WINAPI hook_CreateProcessW(LPCWSTR application, LPWSTR command, LPSECURITY_ATTRIBUTES process,
                                LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information)
{
    note(create_process_called, true);
    BOOL result = KERNEL32(CreateProcessW)(application, command, process, thread, inherit, flags, environment,
                                           directory, startup, information);
    note(create_process_returned, true);
    return result;
}

DWORD WINAPI hook_WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    DWORD result = KERNEL32(WaitForSingleObject)(handle, milliseconds);
    if (milliseconds == INFINITE)
        note(wait_returned, true);
    return result;
}

BOOL WINAPI hook_DeleteFileW(LPCWSTR path)
{
    ++counts[delete_file];
    return KERNEL32(DeleteFileW)(path);
}

BOOL WINAPI hook_RemoveDirectoryW(LPCWSTR path)
{
    ++counts[remove_directory];
    return KERNEL32(RemoveDirectoryW)(path);
}

BOOL WINAPI hook_FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW data)
{
    ++counts[find_next];
    return KERNEL32(FindNextFileW)(search, data);
}

DWORD WINAPI hook_GetFileAttributesW(LPCWSTR path)
{
    ++counts[file_attributes];
    return KERNEL32(GetFileAttributesW)(path);
}

BOOL WINAPI hook_SetFileAttributesW(LPCWSTR path, DWORD attributes)
{
    ++counts[set_file_attributes];
    return KERNEL32(SetFileAttributesW)(path, attributes);
}

void WINAPI hook_Sleep(DWORD milliseconds)
{
    ++counts[sleep_calls];
    KERNEL32(Sleep)(milliseconds);
}

} // namespace

// The import slots the launcher's calls go through. A slot defined in an
// object keeps the linker from taking the import library's.
extern "C" {
void *__imp_SetDllDirectoryW = reinterpret_cast<void *>(hook_SetDllDirectoryW);
void *__imp_CreateFileW = reinterpret_cast<void *>(hook_CreateFileW);
void *__imp_WriteFile = reinterpret_cast<void *>(hook_WriteFile);
void *__imp_CloseHandle = reinterpret_cast<void *>(hook_CloseHandle);
void *__imp_CreateDirectoryW = reinterpret_cast<void *>(hook_CreateDirectoryW);
void *__imp_CreateProcessW = reinterpret_cast<void *>(hook_CreateProcessW);
void *__imp_WaitForSingleObject = reinterpret_cast<void *>(hook_WaitForSingleObject);
void *__imp_DeleteFileW = reinterpret_cast<void *>(hook_DeleteFileW);
void *__imp_RemoveDirectoryW = reinterpret_cast<void *>(hook_RemoveDirectoryW);
void *__imp_FindNextFileW = reinterpret_cast<void *>(hook_FindNextFileW);
void *__imp_GetFileAttributesW = reinterpret_cast<void *>(hook_GetFileAttributesW);
void *__imp_SetFileAttributesW = reinterpret_cast<void *>(hook_SetFileAttributesW);
void *__imp_Sleep = reinterpret_cast<void *>(hook_Sleep);
}
