// The three forms of the launcher's one-line failure reports. Every reported
// failure ends the process with exit code 2; a template that cannot be
// expanded ends it through abort.
#pragma once

// exit comes from process.h: the C++ library's stdlib.h wrapper would turn
// the printf family of every file that includes this one into mingw's own
// (__mingw_vfprintf), which the image does not import.
#include <process.h>
#include <stdint.h>

constexpr int failure_exit_code = 2;

// Fixed text to standard output (puts adds the line end), then exit(2).
[[noreturn]] void fatal_message(const char *message);

// "MESSAGE ([Error CODE] SYSTEM TEXT)" on standard error. Returns; the caller
// exits with failure_exit_code, as fatal_system_error does.
void report_system_error(const char *message, uint32_t code);

// report_system_error, then exit(2). Inline, so that each caller's code is
// the report and the exit, with no call of its own in between.
[[noreturn, gnu::always_inline]] inline void fatal_system_error(const char *message, uint32_t code)
{
    report_system_error(message, code);
    exit(failure_exit_code);
}

// "Error, couldn't runtime expand spec 'TEMPLATE'." on standard error, then abort.
[[noreturn]] void report_spec_failure(const wchar_t *path_template);

// Shown in place of the system's text when it has none for a code.
inline constexpr const char *missing_system_text = "no system text for this code";
