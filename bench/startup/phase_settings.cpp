// A bench-only launcher: the default compiled-in texts, plus hooks on the
// system calls that mark the launcher's phases, so that a launcher linked
// with this settings file tells where its time goes. The launcher's own code
// is unchanged: the hooks take the place of the import slots (__imp_X) of a
// few kernel32 and shell32 functions, count the calls and note the time of
// the first and last, and call the real function.
//
// When TARVEK_BENCH_PHASES names a file, each process of the launcher
// appends its figures there at exit as "pid key value" lines; times are
// QueryPerformanceCounter values, the driver's clock.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <shellapi.h>

#include "image/default_settings.cpp"

namespace {

enum mark : int {
    launcher_main_entered, // first SetDllDirectoryW: the first thing launcher_main does
    first_file_opened,     // first CreateFileW for writing: extraction under way
    last_file_closed,      // last CloseHandle before CreateProcessW
    create_process_called,
    create_process_returned,
    wait_returned, // the parent's wait without time limit
    cleanup_done,  // at exit
    mark_count
};

constexpr const char *mark_names[mark_count] = {
    "launcher_main", "first_file_opened", "last_file_closed", "create_process_called",
    "create_process_returned", "wait_returned", "exit"};

enum counter : int {
    create_file, write_file, close_handle, create_directory, delete_file, remove_directory, find_next,
    file_attributes, shell_file_operation, sleep_calls, counter_count
};

constexpr const char *counter_names[counter_count] = {
    "CreateFileW", "WriteFile", "CloseHandle", "CreateDirectoryW", "DeleteFileW", "RemoveDirectoryW",
    "FindNextFileW", "GetFileAttributesW", "SHFileOperationW", "Sleep"};

long long marks[mark_count];
long long counts[counter_count];
long long write_ticks; // time spent inside WriteFile
bool registered;

long long now()
{
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

void report()
{
    marks[cleanup_done] = now();
    wchar_t path[1024];
    DWORD length = GetEnvironmentVariableW(L"TARVEK_BENCH_PHASES", path, 1024);
    if (length == 0 || length >= 1024)
        return;
    FILE *out = _wfopen(path, L"a");
    if (out == nullptr)
        return;
    DWORD pid = GetCurrentProcessId();
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        FILETIME at;
        GetSystemTimePreciseAsFileTime(&at);
        auto us = [](FILETIME t) { return (static_cast<long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10; };
        fprintf(out, "%lu alive_us %lld\n", pid, us(at) - us(created));
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    fprintf(out, "%lu qpc_frequency %lld\n", pid, frequency.QuadPart);
    for (int i = 0; i < mark_count; ++i)
        if (marks[i] != 0)
            fprintf(out, "%lu %s %lld\n", pid, mark_names[i], marks[i]);
    for (int i = 0; i < counter_count; ++i)
        fprintf(out, "%lu %s %lld\n", pid, counter_names[i], counts[i]);
    fprintf(out, "%lu write_ticks %lld\n", pid, write_ticks);
    fclose(out);
}

void note(mark which, bool first_only)
{
    if (!registered) {
        registered = true;
        atexit(report);
    }
    if (!first_only || marks[which] == 0)
        marks[which] = now();
}

// The real function, looked up on every call: a guarded local static would
// need the C++ runtime, which the launcher does without.
template <typename F> F real(const char *library, const char *name)
{
    HMODULE module = GetModuleHandleA(library);
    if (module == nullptr)
        module = LoadLibraryA(library);
    return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

BOOL WINAPI hook_SetDllDirectoryW(LPCWSTR path)
{
    note(launcher_main_entered, true);
    auto f = real<decltype(&SetDllDirectoryW)>("kernel32.dll", "SetDllDirectoryW");
    return f(path);
}

HANDLE WINAPI hook_CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE model)
{
    ++counts[create_file];
    if (access & GENERIC_WRITE)
        note(first_file_opened, true);
    auto f = real<decltype(&CreateFileW)>("kernel32.dll", "CreateFileW");
    return f(name, access, share, security, disposition, flags, model);
}

BOOL WINAPI hook_WriteFile(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
{
    ++counts[write_file];
    auto f = real<decltype(&WriteFile)>("kernel32.dll", "WriteFile");
    long long before = now();
    BOOL result = f(file, bytes, count, written, overlapped);
    write_ticks += now() - before;
    return result;
}

BOOL WINAPI hook_CloseHandle(HANDLE handle)
{
    ++counts[close_handle];
    if (marks[create_process_called] == 0)
        note(last_file_closed, false);
    auto f = real<decltype(&CloseHandle)>("kernel32.dll", "CloseHandle");
    return f(handle);
}

BOOL WINAPI hook_CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security)
{
    ++counts[create_directory];
    auto f = real<decltype(&CreateDirectoryW)>("kernel32.dll", "CreateDirectoryW");
    return f(path, security);
}

BOOL WINAPI hook_CreateProcessW(LPCWSTR application, LPWSTR command, LPSECURITY_ATTRIBUTES process,
                                LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION information)
{
    note(create_process_called, true);
    auto f = real<decltype(&CreateProcessW)>("kernel32.dll", "CreateProcessW");
    BOOL result = f(application, command, process, thread, inherit, flags, environment, directory, startup,
                    information);
    note(create_process_returned, true);
    return result;
}

DWORD WINAPI hook_WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    auto f = real<decltype(&WaitForSingleObject)>("kernel32.dll", "WaitForSingleObject");
    DWORD result = f(handle, milliseconds);
    if (milliseconds == INFINITE)
        note(wait_returned, true);
    return result;
}

BOOL WINAPI hook_DeleteFileW(LPCWSTR path)
{
    ++counts[delete_file];
    auto f = real<decltype(&DeleteFileW)>("kernel32.dll", "DeleteFileW");
    return f(path);
}

BOOL WINAPI hook_RemoveDirectoryW(LPCWSTR path)
{
    ++counts[remove_directory];
    auto f = real<decltype(&RemoveDirectoryW)>("kernel32.dll", "RemoveDirectoryW");
    return f(path);
}

BOOL WINAPI hook_FindNextFileW(HANDLE search, LPWIN32_FIND_DATAW data)
{
    ++counts[find_next];
    auto f = real<decltype(&FindNextFileW)>("kernel32.dll", "FindNextFileW");
    return f(search, data);
}

DWORD WINAPI hook_GetFileAttributesW(LPCWSTR path)
{
    ++counts[file_attributes];
    auto f = real<decltype(&GetFileAttributesW)>("kernel32.dll", "GetFileAttributesW");
    return f(path);
}

void WINAPI hook_Sleep(DWORD milliseconds)
{
    ++counts[sleep_calls];
    auto f = real<decltype(&Sleep)>("kernel32.dll", "Sleep");
    f(milliseconds);
}

int WINAPI hook_SHFileOperationW(LPSHFILEOPSTRUCTW request)
{
    ++counts[shell_file_operation];
    auto f = real<decltype(&SHFileOperationW)>("shell32.dll", "SHFileOperationW");
    return f(request);
}

} // namespace

// The import slots the launcher's calls go through. A slot defined here
// keeps the linker from taking the import library's.
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
void *__imp_Sleep = reinterpret_cast<void *>(hook_Sleep);
void *__imp_SHFileOperationW = reinterpret_cast<void *>(hook_SHFileOperationW);
}
