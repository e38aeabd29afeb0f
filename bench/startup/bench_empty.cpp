// An empty windowed program, built twice: as it is, and with one call into
// shell32, so that the difference shows what loading shell32 (and what it
// brings in) costs every process under Wine.
#include <windows.h>
#ifdef BENCH_WITH_SHELL32
#include <shellapi.h>
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
#ifdef BENCH_WITH_SHELL32
    int count = 0;
    LocalFree(CommandLineToArgvW(L"x", &count));
#endif
    return 0;
}
