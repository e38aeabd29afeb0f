#include "image/windows_entry.hpp"

#include <windows.h>

#include <corecrt_startup.h>

#include "image/command_tail.hpp"
#include "launcher/launcher_main.hpp"

// Defined by the linker at the image's first byte.
extern "C" IMAGE_DOS_HEADER __ImageBase;

// How the program was asked to show its window: the start-up information's
// wShowWindow when its flags say so, else SW_SHOWDEFAULT.
static int show_command()
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
}

int run_windowed_program()
{
    static wchar_t no_command_line[] = L"";
    wchar_t *command_line = _wcmdln != nullptr ? _wcmdln : no_command_line;
    return launcher_main(reinterpret_cast<HINSTANCE>(&__ImageBase), nullptr, command_line_tail(command_line),
                         show_command());
}
