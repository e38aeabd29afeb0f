// The launcher's entry: the main sequence of both roles.
#pragma once

#include <windows.h>

// Called by the start-up of a Unicode windowed program; the four entry
// arguments are ignored. The result is the process exit code.
int launcher_main(HINSTANCE instance, HINSTANCE previous, wchar_t *command_tail, int show);
