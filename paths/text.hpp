// Bounded wide buffers, 8-bit to wide widening, environment access by 8-bit
// name, and number formatting. Every write into a buffer appends at its
// terminator; a character that does not fit ends the process through abort.
#pragma once

#include <stddef.h>
#include <wchar.h>

// A NUL-terminated Windows path: 4096 UTF-16 units, capacity 4095.
constexpr size_t wide_path_units = 4096;
using wide_path = wchar_t[wide_path_units];

// Longest environment value the platform allows (32767) and its terminator.
constexpr size_t env_value_units = 32768;
// An 8-bit environment variable name is widened into this many units.
constexpr size_t env_name_units = 40;
// 8-bit buffer for a formatted process id.
constexpr size_t pid_text_bytes = 128;

static_assert(sizeof(wchar_t) == 2, "Windows wide characters are UTF-16 units");

// Capacity of a bounded wide buffer: its units less the terminator.
template <size_t N>
constexpr size_t capacity_of(const wchar_t (&)[N])
{
    static_assert(N > 0);
    return N - 1;
}

void append_wide(wchar_t *buffer, size_t capacity, const wchar_t *source);
void append_narrow(wchar_t *buffer, size_t capacity, const char *source);

template <size_t N>
void append_wide(wchar_t (&buffer)[N], const wchar_t *source)
{
    append_wide(buffer, capacity_of(buffer), source);
}

template <size_t N>
void append_narrow(wchar_t (&buffer)[N], const char *source)
{
    append_narrow(buffer, capacity_of(buffer), source);
}

// Empties the buffer, then appends the source.
template <size_t N>
void copy_wide(wchar_t (&buffer)[N], const wchar_t *source)
{
    buffer[0] = 0;
    append_wide(buffer, source);
}

// The number of ASCII decimal digits at the start of `text`.
size_t leading_digits(const wchar_t *text);

// A heap copy of the variable's value owned by the caller, or null when the
// variable is absent, empty, or longer than env_value_units - 1.
wchar_t *get_env(const char *name);
// Sets the variable, or deletes it when value is null. The platform's result.
bool set_env(const char *name, const wchar_t *value);

// snprintf with the standard behaviour: always terminated, truncated to size.
int format_narrow(char *buffer, size_t size, const char *format, ...);
// Wide formatting; -1 for a null buffer of size 0 and for any library error.
int format_wide(wchar_t *buffer, size_t size, const wchar_t *format, ...);
