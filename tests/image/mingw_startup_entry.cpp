// The wWinMain that mingw-w64's own start-up calls: for a launcher linked
// the ordinary way, which the image check must refuse.
#include <windows.h>

#include "launcher/launcher_main.hpp"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR command_tail, int show)
{
    return launcher_main(instance, previous, command_tail, show);
}
