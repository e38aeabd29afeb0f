// The image's start-up over the Universal C Runtime, the same for a
// windowed and a console launcher but for the application type it tells
// the runtime (their entry points: entry_windowed.cpp, entry_console.cpp).
// It prepares the runtime state that the launcher and, in the child, the
// application's main library rely on, runs the launcher and ends the
// process with its result.
#include "image/startup.hpp"

#include <stdint.h>
#include <stdlib.h>

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

// Filled by the linker (its MinGW mode gathers the compiler's .ctors
// sections): -1, the initialisers of the image's objects with dynamic
// initialisation in reverse order of their sections, a null. The launcher
// defines no such object; should one appear, it is set up like anywhere
// else. (A destructor would need atexit, which the image does not import,
// and does not link.)
extern "C" void (*__CTOR_LIST__[])();

static void run_static_initialisers()
{
    size_t count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr)
        ++count;
    for (size_t i = count; i > 0; --i)
        __CTOR_LIST__[i]();
}

void run_startup(_crt_app_type app_type)
{
    _set_app_type(app_type);
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
    run_static_initialisers();
    // exit runs the exit-time handlers and flushes the standard streams.
    exit(run_windowed_program());
}
