// An application built with the Tarvek Onefile SDK: a command-line tool
// that greets each name it is given with the greeting shipped beside it.
//
//   greeter NAME...
//
// The launcher calls run_code in its child process with the child's own
// arguments and the path of this library, unpacked as main.dll; the files of
// the project's data folder are beside it. What run_code returns is the
// launcher's exit code.
#include <tarvek/run_code.h>

#include <cstdio>
#include <string>
#include <wchar.h>

#include <windows.h>

namespace {

// The file at a path relative to the folder of main.dll, whole; empty when
// it cannot be read.
std::string read_beside(const wchar_t *library_path, const wchar_t *name)
{
    std::wstring path = library_path;
    path.erase(path.find_last_of(L'\\') + 1);
    path += name;
    std::string text;
    if (FILE *in = _wfopen(path.c_str(), L"rb")) {
        char block[4096];
        while (size_t length = std::fread(block, 1, sizeof block, in))
            text.append(block, length);
        std::fclose(in);
    }
    return text;
}

// An environment variable the launcher sets; empty when it is not set.
std::wstring environment(const wchar_t *name)
{
    wchar_t value[32768];
    DWORD length = GetEnvironmentVariableW(name, value, 32768);
    return length != 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

} // namespace

TARVEK_RUN_CODE
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: greeter NAME...\n");
        return 2;
    }
    std::string greeting = read_beside(library_path, L"greeting.txt");
    if (greeting.empty()) {
        std::fprintf(stderr, "greeter: greeting.txt is missing beside %ls\n", library_path);
        return 1;
    }
    for (int i = 1; i < argc; ++i)
        std::printf("%s, %ls!\n", greeting.c_str(), argv[i]);
    std::printf("%s", read_beside(library_path, L"texts\\farewell.txt").c_str());
    std::printf("main library: %ls\n", wcsrchr(library_path, L'\\') + 1);
    std::printf("started as: %ls\n", environment(TARVEK_ENV_ORIGINAL_ARGV0).c_str());
    std::printf("from the folder: %ls\n", environment(TARVEK_ENV_ONEFILE_DIRECTORY).c_str());
    return 0;
}
