// The floor: the application run directly, without anything unpacked. Loads
// the main library named on the command line and calls its run_code with the
// rest of the arguments, as the launcher's child would.
//
//   bench_host MAIN_DLL [ARGS...]
#include <stdio.h>
#include <windows.h>

using run_code_function = int (*)(int argc, wchar_t **argv, const wchar_t *library_path);

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: bench_host MAIN_DLL [ARGS...]\n"
                        "  loads MAIN_DLL and returns what its run_code returns\n");
        return 2;
    }
    HMODULE library = LoadLibraryExW(argv[1], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) {
        fprintf(stderr, "bench_host: cannot load %ls (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    auto run_code = reinterpret_cast<run_code_function>(
        reinterpret_cast<void *>(GetProcAddress(library, "run_code")));
    if (run_code == nullptr) {
        fprintf(stderr, "bench_host: %ls exports no run_code\n", argv[1]);
        return 2;
    }
    // argv[0] stays this program, as the launcher's child passes its own.
    const wchar_t *library_path = argv[1];
    argv[1] = argv[0];
    return run_code(argc - 1, argv + 1, library_path);
}
