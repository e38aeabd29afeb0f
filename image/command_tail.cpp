#include "image/command_tail.hpp"

wchar_t *command_line_tail(wchar_t *line)
{
    bool quoted = false;
    for (; *line > L' ' || (*line != 0 && quoted); ++line)
        if (*line == L'"')
            quoted = !quoted;
    while (*line != 0 && *line <= L' ')
        ++line;
    return line;
}
