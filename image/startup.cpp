// The image's entry point: the start-up of a Unicode windowed program over
// the Universal C Runtime. It prepares the runtime state that the launcher
// and, in the child, the application's main library rely on, runs the
// launcher and ends the process with its result.
#include <stdint.h>
#include <stdlib.h>

#include "image/runtime_startup.hpp"
#include "image/windows_entry.hpp"

// Exit code of a process whose runtime could not be set up; launcher_main
// has not run then.
constexpr int startup_failure_exit_code = 255;

// A runtime function given an invalid argument returns its error result
// instead of ending the process.
static void __cdecl ignore_invalid_parameter(const wchar_t *, const wchar_t *, const wchar_t *, unsigned int,
                                             uintptr_t)
{
}

// The system calls this without arguments; it never returns.
extern "C" [[noreturn]] void tarvek_image_entry()
{
    _set_app_type(_crt_gui_app);
    // Arguments holding '*' or '?' stay as they are: no wildcard expansion.
    if (_configure_wide_argv(_crt_argv_unexpanded_arguments) != 0)
        _exit(startup_failure_exit_code);
    // The launcher reads the environment through the system; the copy is
    // for the application, which shares this runtime in the child.
    if (_initialize_wide_environment() != 0)
        _exit(startup_failure_exit_code);
    // A failed allocation returns null; no allocation-failure handler.
    _set_new_mode(0);
    _set_invalid_parameter_handler(ignore_invalid_parameter);
    // exit runs the exit-time handlers and flushes the standard streams.
    exit(run_windowed_program());
}
