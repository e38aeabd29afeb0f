#include "launcher/child_launch.hpp"

#include <windows.h>

#include <shellapi.h>
#include <stdlib.h>

#include "launcher/child_job.hpp"
#include "launcher/cleanup.hpp"
#include "launcher/errors.hpp"
#include "launcher/launcher_state.hpp"
#include "launcher/leftover_sweep.hpp"
#include "paths/system_functions.hpp"
#include "paths/text.hpp"
#include "paths/unique_handle.hpp"
#include "payload/target_directory_lock.hpp"

static wchar_t child_command_line[child_command_line_units];
static size_t child_command_line_length;
static wide_path own_image_for_launch;

const wchar_t *child_command_line_text()
{
    return child_command_line;
}

void clear_child_command_line()
{
    child_command_line_length = 0;
    child_command_line[0] = 0;
}

// False, appending nothing, when the units do not fit.
static bool append_units(wchar_t unit, size_t count)
{
    if (count > capacity_of(child_command_line) - child_command_line_length)
        return false;
    for (size_t i = 0; i < count; ++i)
        child_command_line[child_command_line_length++] = unit;
    child_command_line[child_command_line_length] = 0;
    return true;
}

static bool append_text(const wchar_t *text)
{
    for (; *text != 0; ++text)
        if (!append_units(*text, 1))
            return false;
    return true;
}

static bool needs_quotes(const wchar_t *argument)
{
    // An empty argument would vanish from the child's argument vector.
    if (*argument == 0)
        return true;
    for (const wchar_t *c = argument; *c != 0; ++c)
        if (*c == L' ' || *c == L'\t' || *c == L'\n' || *c == L'\v' || *c == L'"')
            return true;
    return false;
}

bool append_quoted_argument(const wchar_t *argument)
{
    if (!needs_quotes(argument))
        return append_text(argument);
    if (!append_units(L'"', 1))
        return false;
    const wchar_t *c = argument;
    for (;;) {
        size_t backslashes = 0;
        while (*c == L'\\') {
            ++backslashes;
            ++c;
        }
        if (*c == 0)
            return append_units(L'\\', 2 * backslashes) && append_units(L'"', 1);
        bool appended = *c == L'"' ? append_units(L'\\', 2 * backslashes + 1) : append_units(L'\\', backslashes);
        if (!appended || !append_units(*c, 1))
            return false;
        ++c;
    }
}

static STARTUPINFOW child_startup_information()
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    return startup;
}

[[noreturn]] static void launch_failed(DWORD code)
{
    fatal_system_error("Error, couldn't launch child", code);
}

// The own image path, the process's raw arguments from element 1 on.
static void build_child_command_line()
{
    auto split = system_function<decltype(CommandLineToArgvW)>(L"shell32.dll", "CommandLineToArgvW");
    if (split == nullptr)
        launch_failed(GetLastError());
    int count = 0;
    wchar_t **arguments = split(GetCommandLineW(), &count);
    if (arguments == nullptr)
        launch_failed(GetLastError());
    clear_child_command_line();
    arguments[0] = own_image_for_launch;
    for (int i = 0; i < count; ++i)
        if ((i > 0 && !append_units(L' ', 1)) || !append_quoted_argument(arguments[i]))
            fatal_message("Error, command line too long for child.");
}

void prepare_child_launch()
{
    if (GetModuleFileNameW(nullptr, own_image_for_launch, wide_path_units) == 0)
        abort();
    build_child_command_line();
}

// Once a clean-up has closed the target directory the process is being
// ended by the console handler's thread: the main thread waits for that.
[[noreturn]] static void wait_for_the_end()
{
    for (;;)
        Sleep(INFINITE);
}

// A second handle the system refuses (no handles left) leaves the slot
// empty: a clean-up then cannot end the child, and still removes what it can.
HANDLE hand_over_child(const PROCESS_INFORMATION &child)
{
    // The child's thread is never used.
    unique_handle(guaranteed_handle{child.hThread}).reset();
    child_process_handle.store(
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, child.dwProcessId));
    return child.hProcess;
}

uint32_t wait_for_child(HANDLE child)
{
    DWORD exit_code = 0;
    {
        unique_handle own(guaranteed_handle{child});
        WaitForSingleObject(own.get(), INFINITE);
        if (!GetExitCodeProcess(own.get(), &exit_code))
            exit_code = 1;
    }
    // The slot's handle, unless a clean-up has taken it.
    unique_handle(child_process_handle.exchange(nullptr)).reset();
    return exit_code;
}

// Started suspended, so that it runs nothing before it is in the job that
// ends it with this process. A thread that cannot be resumed leaves a child
// that never runs: it is ended, and the launch has failed.
static PROCESS_INFORMATION start_child()
{
    STARTUPINFOW startup = child_startup_information();
    PROCESS_INFORMATION child = {};
    if (!CreateProcessW(own_image_for_launch, child_command_line, nullptr, nullptr, TRUE,
                        NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr, nullptr, &startup, &child))
        launch_failed(GetLastError());
    join_child_job(child.hProcess);
    if (ResumeThread(child.hThread) == static_cast<DWORD>(-1)) {
        DWORD error = GetLastError();
        TerminateProcess(child.hProcess, ended_child_exit_code);
        launch_failed(error);
    }
    return child;
}

uint32_t launch_child()
{
    // The child is started and handed over under the lock: a clean-up either
    // finds it in the slot or, having begun first, keeps it from starting.
    if (!lock_target_directory_for_writing())
        wait_for_the_end();
    HANDLE own = hand_over_child(start_child());
    unlock_target_directory();
    start_leftover_sweep();
    uint32_t exit_code = wait_for_child(own);
    onefile_cleanup();
    return exit_code;
}
