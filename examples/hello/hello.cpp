// The example application: a main library that greets, shows its
// arguments, lists the files it was unpacked with and returns 0.
#include <stdio.h>
#include <windows.h>

extern "C" __declspec(dllexport) int run_code(int argc, wchar_t **argv, const wchar_t *library_path)
{
    printf("Hello from a Tarvek Onefile application.\n");
    printf("main library: %ls\n", library_path);
    for (int i = 0; i < argc; ++i)
        printf("argv[%d] = %ls\n", i, argv[i]);
    wchar_t value[4096];
    if (GetEnvironmentVariableW(L"TARVEK_ONEFILE_DIRECTORY", value, 4096) != 0)
        printf("started from: %ls\n", value);
    if (GetEnvironmentVariableW(L"TARVEK_ORIGINAL_ARGV0", value, 4096) != 0)
        printf("typed as: %ls\n", value);
    fflush(stdout);
    return 0;
}
