#include "launcher/errors.hpp"

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

// Set once by the main thread before any failure can be reported.
static failure_cleanup_function failure_cleanup;

void set_failure_cleanup(failure_cleanup_function cleanup)
{
    failure_cleanup = cleanup;
}

void exit_after_failure()
{
    if (failure_cleanup != nullptr)
        failure_cleanup();
    exit(failure_exit_code);
}

void fatal_message(const char *message)
{
    puts(message);
    exit_after_failure();
}

// FormatMessageA's text for the code in US English, without its line end, or
// null when the system has none. The buffer is the system's and is never freed.
static const char *system_text(uint32_t code)
{
    constexpr DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                            FORMAT_MESSAGE_ALLOCATE_BUFFER;
    static_assert(flags == 0x1300);
    constexpr DWORD english_us = 0x0409;
    char *text = nullptr;
    DWORD length = FormatMessageA(flags, nullptr, code, english_us,
                                  reinterpret_cast<char *>(&text), 0, nullptr);
    if (length == 0 || text == nullptr)
        return nullptr;
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n'))
        text[--length] = 0;
    return text;
}

void report_system_error(const char *message, uint32_t code)
{
    const char *text = system_text(code);
    fprintf(stderr, "%s ([Error %ld] %s)\n", message, static_cast<long>(static_cast<int32_t>(code)),
            text != nullptr ? text : missing_system_text);
}

void report_spec_failure(const wchar_t *path_template)
{
    fprintf(stderr, "Error, couldn't runtime expand spec '%ls'.\n", path_template);
    abort();
}
