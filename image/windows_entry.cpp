// The entry that the C runtime's start-up for a Unicode windowed program calls.
#include <windows.h>

#include "launcher/launcher_main.hpp"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR command_tail, int show)
{
    return launcher_main(instance, previous, command_tail, show);
}
