// A launcher_main that reports what the image's start-up handed it, linked
// into a launcher image in place of the real one (tests/image). It writes
// "key=value" lines to standard output, every character outside printable
// ASCII (and '%') as %HHHH, and returns the number that "exit:N" asks for.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include "launcher/launcher_main.hpp"
#include "paths/text.hpp"

// Only functions that the launcher image may import or provides: the
// compiler would turn single characters into fputc, which it may not.
static void put_text(const char *key, const wchar_t *text)
{
    static char line[8 * 4096];
    size_t at = 0;
    for (; text != nullptr && *text != 0 && at + 8 < sizeof line; ++text) {
        if (*text >= 0x20 && *text < 0x7F && *text != L'%')
            line[at++] = static_cast<char>(*text);
        else
            at += static_cast<size_t>(format_narrow(line + at, sizeof line - at, "%%%04X", static_cast<unsigned>(*text)));
    }
    line[at] = 0;
    fprintf(stdout, "%s=%s\n", key, line);
}

// Set before launcher_main by the start-up's run of the image's dynamic
// initialisers.
static const DWORD initialised_process_id = GetCurrentProcessId();

int launcher_main(HINSTANCE instance, HINSTANCE previous, wchar_t *command_tail, int show)
{
    fprintf(stdout, "initialiser_ran=%d\n", initialised_process_id == GetCurrentProcessId() ? 1 : 0);
    fprintf(stdout, "instance_is_image=%d\n", instance == GetModuleHandleA(nullptr) ? 1 : 0);
    fprintf(stdout, "previous_is_null=%d\n", previous == nullptr ? 1 : 0);
    put_text("tail", command_tail);
    fprintf(stdout, "show=%d\n", show);
    fprintf(stdout, "argc=%d\n", __argc);
    int result = 0;
    for (int i = 0; i < __argc; ++i) {
        put_text("argv", __wargv[i]);
        if (wcsncmp(__wargv[i], L"exit:", 5) == 0)
            result = static_cast<int>(wcstoul(__wargv[i] + 5, nullptr, 0));
    }
    // An invalid argument makes the runtime call the handler, which must
    // return rather than end the process.
    errno = 0;
    int compared = _wcsicmp(nullptr, L"x");
    fprintf(stdout, "invalid_parameter=returned %d errno %d\n", compared, errno);
    return result;
}
