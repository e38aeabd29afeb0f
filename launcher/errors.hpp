// The three forms of the launcher's one-line failure reports, and the one
// way a reported failure ends the process: exit_after_failure, exit code 2.
// A template that cannot be expanded ends it through abort.
#pragma once

#include <stdint.h>

constexpr int failure_exit_code = 2;

// What a failure exit does before the process ends, on the thread that
// fails. The launcher's parent sets one (launcher/cleanup.hpp): the target
// directory goes with the process. Nothing is set elsewhere.
using failure_cleanup_function = void (*)();
void set_failure_cleanup(failure_cleanup_function cleanup);

// Every reported failure ends here: the failure clean-up, if one is set,
// then exit(2).
[[noreturn]] void exit_after_failure();

// Fixed text to standard output (puts adds the line end), then
// exit_after_failure.
[[noreturn]] void fatal_message(const char *message);

// "MESSAGE ([Error CODE] SYSTEM TEXT)" on standard error. Returns; the caller
// ends the process with exit_after_failure, as fatal_system_error does.
void report_system_error(const char *message, uint32_t code);

// report_system_error, then exit_after_failure. Inline, so that each
// caller's code is the report and the exit, with no call of its own in
// between.
[[noreturn, gnu::always_inline]] inline void fatal_system_error(const char *message, uint32_t code)
{
    report_system_error(message, code);
    exit_after_failure();
}

// "Error, couldn't runtime expand spec 'TEMPLATE'." on standard error, then abort.
[[noreturn]] void report_spec_failure(const wchar_t *path_template);

// Shown in place of the system's text when it has none for a code.
inline constexpr const char *missing_system_text = "no system text for this code";
