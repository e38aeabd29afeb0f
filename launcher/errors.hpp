// The three forms of the launcher's one-line failure reports. Every reported
// failure ends the process with exit code 2; a template that cannot be
// expanded ends it through abort.
#pragma once

#include <stdint.h>

constexpr int failure_exit_code = 2;

// Fixed text to standard output (puts adds the line end), then exit(2).
[[noreturn]] void fatal_message(const char *message);

// "MESSAGE ([Error CODE] SYSTEM TEXT)" on standard error. Returns; the caller
// exits with failure_exit_code.
void report_system_error(const char *message, uint32_t code);

// "Error, couldn't runtime expand spec 'TEMPLATE'." on standard error, then abort.
[[noreturn]] void report_spec_failure(const wchar_t *path_template);

// Shown in place of the system's text when it has none for a code.
inline constexpr const char *missing_system_text = "no system text for this code";
