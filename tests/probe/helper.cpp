// A library packed beside the probe's main library, for the application's
// bare-name load (probe action load:helper.dll).
#include <windows.h>

extern "C" __declspec(dllexport) int helper_answer()
{
    return 42;
}
