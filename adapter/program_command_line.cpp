#include "adapter/program_command_line.hpp"

#include <stdlib.h>
#include <wchar.h>

#include "adapter/run_program.hpp"

wide_path program_path;
wchar_t program_command_line[child_command_line_units];

void build_program_path(const wchar_t *library_path)
{
    copy_wide(program_path, library_path);
    wchar_t *last_separator = wcsrchr(program_path, L'\\');
    if (last_separator == nullptr)
        abort();
    last_separator[1] = 0;
    append_wide(program_path, tarvek_run_program);
}

// Quoted by the launcher's own rules, in the launcher's buffer, then
// appended here.
static void append_quoted(const wchar_t *argument)
{
    clear_child_command_line();
    append_quoted_argument(argument);
    append_wide(program_command_line, child_command_line_text());
}

void build_program_command_line(int count, wchar_t **arguments)
{
    program_command_line[0] = 0;
    append_quoted(program_path);
    for (int i = 1; i < count; ++i) {
        append_wide(program_command_line, L" ");
        append_quoted(arguments[i]);
    }
}
