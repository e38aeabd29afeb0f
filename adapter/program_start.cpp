#include "adapter/program_start.hpp"

#include "adapter/program_command_line.hpp"

static bool is_handle(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// The adapter's standard handles, when it has any. A windowed launcher
// started without them (from the desktop) has none: a console program then
// gets the handles of the console the system gives it, instead of none.
static STARTUPINFOW program_startup_information()
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    if (is_handle(startup.hStdInput) || is_handle(startup.hStdOutput) || is_handle(startup.hStdError))
        startup.dwFlags = STARTF_USESTDHANDLES;
    return startup;
}

PROCESS_INFORMATION create_suspended_program(DWORD *error)
{
    STARTUPINFOW startup = program_startup_information();
    PROCESS_INFORMATION program = {};
    // Inherited: handles (the standard ones among them), environment,
    // current directory, console.
    if (!CreateProcessW(program_path, child_command_line_buffer(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &program)) {
        *error = GetLastError();
        return {};
    }
    return program;
}

bool resume_program(const PROCESS_INFORMATION &program, DWORD *error)
{
    bool resumed = ResumeThread(program.hThread) != static_cast<DWORD>(-1);
    if (!resumed) {
        *error = GetLastError();
        TerminateProcess(program.hProcess, 1);
    }
    CloseHandle(program.hThread);
    return resumed;
}

DWORD wait_for_program(HANDLE program)
{
    DWORD exit_code = 0;
    WaitForSingleObject(program, INFINITE);
    if (!GetExitCodeProcess(program, &exit_code))
        exit_code = 1;
    return exit_code;
}
