// The child's command line: one process-wide buffer of at most 32767 units,
// and the quoting of each argument by the standard command-line splitting
// rules. The adapter library quotes its program's arguments with it too.
#pragma once

#include <stddef.h>

// Room for the child's command line: at most 32767 units and a terminator.
constexpr size_t child_command_line_units = 32768;

// Appends a space when the line holds anything, then the argument, quoted
// where the splitting needs it. False when it does not fit: the line then
// ends in a part of it.
bool append_child_argument(const wchar_t *argument);

// Appends one argument, quoted where the splitting needs it, with no space
// before it. Aborts when the line is full.
void append_quoted_argument(const wchar_t *argument);

// The command line built so far.
const wchar_t *child_command_line_text();
// Writable, as CreateProcessW wants it.
wchar_t *child_command_line_buffer();
void clear_child_command_line();
