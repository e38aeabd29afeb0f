// Starting the program: program_path with the command line that
// build_program_command_line made (program_command_line.hpp), the adapter's
// standard handles, environment and current directory, suspended until it
// is in its job.
#pragma once

#include <windows.h>

// The program created suspended, or a null process handle with the
// system's error code in `error`.
PROCESS_INFORMATION create_suspended_program(DWORD *error);

// Lets the program's first thread run and closes the thread handle. False,
// with the program ended and the system's error code in `error`, when the
// thread cannot be resumed.
bool resume_program(const PROCESS_INFORMATION &program, DWORD *error);

// Waits without a time limit; the program's exit code, all 32 bits (1 when
// the system cannot tell it).
DWORD wait_for_program(HANDLE program);
