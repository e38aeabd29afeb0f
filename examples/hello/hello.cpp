// The example application: a main library that prints its arguments and a
// data file shipped beside it in a subfolder, data\greeting.txt.
//
// The launcher's child calls run_code with the process's own argument
// vector (argv[0] is the launcher's path) and the path of this library in
// the folder the parent unpacked everything into. What run_code returns
// becomes the launcher's exit code.
#include <tarvek/run_code.h>

#include <stdio.h>
#include <wchar.h>
#include <windows.h>

// The folder that holds this library, and a file below it, in `path`.
static bool beside_library(const wchar_t *library_path, const wchar_t *name, wchar_t *path, size_t units)
{
    const wchar_t *slash = wcsrchr(library_path, L'\\');
    if (slash == nullptr)
        return false;
    size_t folder = static_cast<size_t>(slash - library_path) + 1;
    if (folder + wcslen(name) + 1 > units)
        return false;
    wmemcpy(path, library_path, folder);
    wcscpy(path + folder, name);
    return true;
}

static void print_environment(const wchar_t *name, const char *label)
{
    wchar_t value[4096];
    DWORD length = GetEnvironmentVariableW(name, value, 4096);
    if (length != 0 && length < 4096)
        printf("%s: %ls\n", label, value);
}

TARVEK_RUN_CODE
{
    printf("Hello from a Tarvek Onefile application.\n");
    printf("%d argument%s\n", argc - 1, argc == 2 ? "" : "s");
    for (int i = 1; i < argc; ++i)
        printf("  argument %d: %ls\n", i, argv[i]);
    print_environment(TARVEK_ENV_ORIGINAL_ARGV0, "started as");
    print_environment(TARVEK_ENV_ONEFILE_DIRECTORY, "from the folder");

    wchar_t path[4096];
    FILE *data = beside_library(library_path, L"data\\greeting.txt", path, 4096) ? _wfopen(path, L"rb") : nullptr;
    if (data == nullptr) {
        printf("data\\greeting.txt is missing\n");
        return 1;
    }
    char text[512];
    size_t length = fread(text, 1, sizeof text - 1, data);
    fclose(data);
    text[length] = '\0';
    printf("data\\greeting.txt says: %s", text);
    fflush(stdout);
    return 0;
}
