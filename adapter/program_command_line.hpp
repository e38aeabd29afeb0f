// The program's full path in the unpacked folder, and its command line: that
// path as element 0, then the launcher's own arguments, each quoted by the
// rules of the child's command line.
#pragma once

#include "launcher/child_launch.hpp"
#include "paths/text.hpp"

extern wide_path program_path;
// Writable, as CreateProcessW wants it.
extern wchar_t program_command_line[child_command_line_units];

// `<folder of library_path>\<tarvek_run_program>`. Aborts when the library
// path names no folder or the result does not fit a wide path.
void build_program_path(const wchar_t *library_path);

// program_path, then arguments[1] to arguments[count - 1], one space apart.
// Aborts when the line would pass 32767 units, as the launcher's own does.
void build_program_command_line(int count, wchar_t **arguments);
