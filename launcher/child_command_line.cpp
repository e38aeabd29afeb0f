#include "launcher/child_command_line.hpp"

#include <stdlib.h>

#include "paths/text.hpp"

static wchar_t child_command_line[child_command_line_units];
static size_t child_command_line_length;

const wchar_t *child_command_line_text()
{
    return child_command_line;
}

wchar_t *child_command_line_buffer()
{
    return child_command_line;
}

void clear_child_command_line()
{
    child_command_line_length = 0;
    child_command_line[0] = 0;
}

// False, appending nothing, when the units do not fit.
static bool append_units(wchar_t unit, size_t count)
{
    if (count > capacity_of(child_command_line) - child_command_line_length)
        return false;
    for (size_t i = 0; i < count; ++i)
        child_command_line[child_command_line_length++] = unit;
    child_command_line[child_command_line_length] = 0;
    return true;
}

static bool append_text(const wchar_t *text)
{
    for (; *text != 0; ++text)
        if (!append_units(*text, 1))
            return false;
    return true;
}

static bool needs_quotes(const wchar_t *argument)
{
    // An empty argument would vanish from the child's argument vector.
    if (*argument == 0)
        return true;
    for (const wchar_t *c = argument; *c != 0; ++c)
        if (*c == L' ' || *c == L'\t' || *c == L'\n' || *c == L'\v' || *c == L'"')
            return true;
    return false;
}

// False when the argument does not fit.
static bool append_quoted(const wchar_t *argument)
{
    if (!needs_quotes(argument))
        return append_text(argument);
    if (!append_units(L'"', 1))
        return false;
    const wchar_t *c = argument;
    for (;;) {
        size_t backslashes = 0;
        while (*c == L'\\') {
            ++backslashes;
            ++c;
        }
        if (*c == 0)
            return append_units(L'\\', 2 * backslashes) && append_units(L'"', 1);
        bool appended = *c == L'"' ? append_units(L'\\', 2 * backslashes + 1) : append_units(L'\\', backslashes);
        if (!appended || !append_units(*c, 1))
            return false;
        ++c;
    }
}

bool append_child_argument(const wchar_t *argument)
{
    return (child_command_line_length == 0 || append_units(L' ', 1)) && append_quoted(argument);
}

void append_quoted_argument(const wchar_t *argument)
{
    if (!append_quoted(argument))
        abort();
}
