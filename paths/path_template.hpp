// Expansion of path templates: literal text with variables written as names
// in braces, such as "{TEMP}\onefile_{PID}_{TIME_US}_{RANDOM}".
#pragma once

#include <stddef.h>

// Private name buffer: at most 1023 characters of a name are kept.
constexpr size_t template_name_units = 1024;
// Folder lookups need at least MAX_PATH (260) units.
constexpr size_t template_scratch_units = 1024;

// Expands `path_template` into `output`, which holds capacity + 1 units.
// False for an unknown name, literal text that does not fit, or a failed
// folder lookup; the output then holds a terminated prefix and is no path.
// A variable's value that does not fit ends the process.
bool expand_path_template(wchar_t *output, const wchar_t *path_template, size_t capacity);

template <size_t N>
bool expand_path_template(wchar_t (&output)[N], const wchar_t *path_template)
{
    return expand_path_template(output, path_template, N - 1);
}
