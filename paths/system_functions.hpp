// Functions of system libraries that the image does not import. Each is
// taken from its library as the system folder holds it, loaded when first
// needed: a library planted beside the launcher, in the current folder or on
// PATH never stands in for it or for one of its own imports (Wine's shell32
// takes CommandLineToArgvW from shcore.dll, which a static import of shell32
// found beside the executable), and a process that needs none of them (the
// child) loads none.
#pragma once

#include <windows.h>

// The address of `name` in the system library `library` (a file name such
// as L"shell32.dll"), or null when either cannot be had. The library stays
// loaded.
FARPROC find_system_function(const wchar_t *library, const char *name);

// The same, as a pointer to `function`, a function type such as
// decltype(CommandLineToArgvW).
template <typename function>
function *system_function(const wchar_t *library, const char *name)
{
    return reinterpret_cast<function *>(reinterpret_cast<void *>(find_system_function(library, name)));
}
