// The part of a command line that a windowed program's entry receives.
#pragma once

// The command line after the program name and the blanks that follow it. The
// program name ends at the first character at or below U+0020 that is not
// inside double quotes; each double quote toggles the quoted state.
wchar_t *command_line_tail(wchar_t *command_line);
