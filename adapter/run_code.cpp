// The adapter: a main library that runs an ordinary program. The child of
// the launcher calls its run_code, which starts the program named by
// tarvek_run_program from the unpacked folder with the launcher's arguments,
// standard handles, environment and current directory, in a job that ends
// it with the child, waits, and returns the program's exit code as it is.
#include <windows.h>

#include "adapter/console_events.hpp"
#include "adapter/program_command_line.hpp"
#include "adapter/program_start.hpp"
#include "adapter/start_failure.hpp"
#include "launcher/ending_job.hpp"
#include "launcher/errors.hpp"

extern "C" __declspec(dllexport) int run_code(int argc, wchar_t **argv, const wchar_t *library_path)
{
    build_program_path(library_path);
    build_program_command_line(argc, argv);
    // Before the program exists: an interrupt from here on never ends this
    // process while the program waits, suspended, outside its job.
    if (!leave_console_events_to_the_program())
        fatal_message("Error, failed to register signal handler.");
    DWORD error = 0;
    PROCESS_INFORMATION program = create_suspended_program(&error);
    if (program.hProcess == nullptr)
        return report_start_failure(error);
    // The process handle stays open: the console handler may wait on it.
    set_program_for_console_events(program.hProcess);
    join_ending_job(program.hProcess, JOB_OBJECT_LIMIT_BREAKAWAY_OK);
    if (!resume_program(program, &error))
        return report_start_failure(error);
    DWORD exit_code = wait_for_program(program.hProcess);
    take_back_console_events();
    // All 32 bits, through the launcher's exit code.
    return static_cast<int>(exit_code);
}
