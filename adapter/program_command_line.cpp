#include "adapter/program_command_line.hpp"

#include <stdlib.h>
#include <wchar.h>

#include "adapter/run_program.hpp"

wide_path program_path;

void build_program_path(const wchar_t *library_path)
{
    copy_wide(program_path, library_path);
    wchar_t *last_separator = wcsrchr(program_path, L'\\');
    if (last_separator == nullptr)
        abort();
    last_separator[1] = 0;
    append_wide(program_path, tarvek_run_program);
}

static void append_argument(const wchar_t *argument)
{
    if (!append_child_argument(argument))
        abort();
}

void build_program_command_line(int count, wchar_t **arguments)
{
    clear_child_command_line();
    append_argument(program_path);
    for (int i = 1; i < count; ++i)
        append_argument(arguments[i]);
}
