#include "launcher/leftover_sweep.hpp"

#include <wchar.h>

#include "launcher/launcher_state.hpp"
#include "launcher/tree_removal.hpp"
#include "paths/run_identity.hpp"
#include "paths/text.hpp"
#include "paths/unique_handle.hpp"
#include "payload/target_directory_lock.hpp"

// The sweep's own walk and paths: only the sweep's thread uses them, and a
// clean-up running at the same time has its own (launcher/cleanup.cpp).
static tree_removal sweep_removal;
static long_path sweep_pattern;
static long_path sweep_folder_path;
static long_path sweep_library_path;

// What start_leftover_sweep hands to the thread, copied before it starts.
static wide_path folder_to_sweep;
static wchar_t own_folder_name[wide_path_units];

// Address space for the thread's stack, committed as it grows: the sweep's
// own frames are small (its paths and its walk are above), the system's
// file calls and the thread start-up of the loaded libraries take the rest.
constexpr SIZE_T sweep_stack_bytes = 256 * 1024;

constexpr wchar_t run_folder_prefix[] = L"onefile_";
constexpr size_t run_folder_prefix_units = sizeof run_folder_prefix / sizeof(wchar_t) - 1;
// A 32-bit process id has at most 10 decimal digits.
constexpr size_t process_id_digits = 10;

bool parse_run_folder_name(const wchar_t *name, DWORD &process_id)
{
    if (wcsncmp(name, run_folder_prefix, run_folder_prefix_units) != 0)
        return false;
    const wchar_t *at = name + run_folder_prefix_units;
    size_t id_digits = leading_digits(at);
    if (id_digits == 0 || id_digits > process_id_digits || at[0] == L'0' || at[id_digits] != L'_')
        return false;
    uint64_t id = 0;
    for (size_t i = 0; i < id_digits; ++i)
        id = id * 10 + static_cast<uint64_t>(at[i] - L'0');
    if (id > MAXDWORD)
        return false;
    at += id_digits + 1;
    constexpr size_t time_us_digits = time_us_text_units - 1;
    if (leading_digits(at) != time_us_digits || at[time_us_digits] != L'_')
        return false;
    if (!is_random_token(at + time_us_digits + 1))
        return false;
    process_id = static_cast<DWORD>(id);
    return true;
}

static uint64_t filetime_value(const FILETIME &time)
{
    return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// Whether the run that made a folder at `folder_created` under the id
// `process_id` is over: no process has that id, the one that has it has
// ended, or it was created after the folder. A process that cannot be
// queried (another user's) is taken for a live one.
static bool run_has_ended(DWORD process_id, uint64_t folder_created)
{
    unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD exit_code = 0;
    if (GetExitCodeProcess(process.get(), &exit_code) && exit_code != STILL_ACTIVE)
        return true;
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user))
        return false;
    return filetime_value(created) > folder_created;
}

// Whether nothing holds or maps the folder's main library: it opens for
// deletion with no sharing (a link as the link itself), or it is not there.
// A folder named main.dll does not open, and keeps the folder.
static bool main_library_unused(const wchar_t *folder)
{
    copy_wide(sweep_library_path, folder);
    append_wide(sweep_library_path, L"\\main.dll");
    unique_file library(CreateFileW(sweep_library_path, DELETE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return library || GetLastError() == ERROR_FILE_NOT_FOUND;
}

static bool is_plain_directory(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

int sweep_leftover_folders(const wchar_t *folder, const wchar_t *own_name)
{
    ULONGLONG started = GetTickCount64();
    make_long_path(sweep_pattern, folder);
    size_t folder_units = wcslen(sweep_pattern);
    append_wide(sweep_pattern, L"\\onefile_*");
    WIN32_FIND_DATAW found;
    unique_find listing(FindFirstFileExW(sweep_pattern, FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH));
    if (!listing)
        return 0;
    sweep_pattern[folder_units] = 0;
    int looked_at = 0, removed = 0;
    do {
        DWORD process_id = 0;
        if (!parse_run_folder_name(found.cFileName, process_id))
            continue;
        if (++looked_at > sweep_folders_looked_at || removed == sweep_folders_removed ||
            GetTickCount64() - started > sweep_budget_ms || target_directory_closed())
            break;
        if (!is_plain_directory(found.dwFileAttributes) || wcscmp(found.cFileName, own_name) == 0 ||
            !run_has_ended(process_id, filetime_value(found.ftCreationTime)))
            continue;
        copy_wide(sweep_folder_path, sweep_pattern);
        append_wide(sweep_folder_path, L"\\");
        append_wide(sweep_folder_path, found.cFileName);
        if (!main_library_unused(sweep_folder_path))
            continue;
        remove_directory_tree(sweep_removal, sweep_folder_path);
        ++removed;
    } while (FindNextFileW(listing.get(), &found));
    return removed;
}

static DWORD WINAPI sweep_thread(void *)
{
    // Background mode lowers the thread's disk priority too, where the
    // system has it.
    if (!SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN))
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
    sweep_leftover_folders(folder_to_sweep, own_folder_name);
    return 0;
}

void start_leftover_sweep()
{
    const wchar_t *last = wcsrchr(target_directory, L'\\');
    if (last == nullptr)
        return;
    copy_wide(own_folder_name, last + 1);
    copy_wide(folder_to_sweep, target_directory);
    folder_to_sweep[last - target_directory] = 0;
    unique_handle(CreateThread(nullptr, sweep_stack_bytes, sweep_thread, nullptr,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr))
        .reset();
}
