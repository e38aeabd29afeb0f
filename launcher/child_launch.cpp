#include "launcher/child_launch.hpp"

#include <windows.h>

#include <shellapi.h>
#include <stdlib.h>

#include "launcher/cleanup.hpp"
#include "launcher/ending_job.hpp"
#include "launcher/errors.hpp"
#include "launcher/launcher_state.hpp"
#include "launcher/leftover_sweep.hpp"
#include "paths/system_functions.hpp"
#include "paths/text.hpp"
#include "paths/unique_handle.hpp"
#include "payload/target_directory_lock.hpp"

static wide_path own_image_for_launch;

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
        if (!append_child_argument(arguments[i]))
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
    if (!CreateProcessW(own_image_for_launch, child_command_line_buffer(), nullptr, nullptr, TRUE,
                        NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr, nullptr, &startup, &child))
        launch_failed(GetLastError());
    join_ending_job(child.hProcess, JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK);
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
