// The program's full path in the unpacked folder, and its command line: that
// path as element 0, then the launcher's own arguments, each quoted by the
// rules of the child's command line, in the same buffer
// (launcher/child_command_line.hpp): the adapter's process starts no child
// of the launcher's.
#pragma once

#include "launcher/child_command_line.hpp"
#include "paths/text.hpp"

extern wide_path program_path;

// `<folder of library_path>\<tarvek_run_program>`. Aborts when the library
// path names no folder or the result does not fit a wide path.
void build_program_path(const wchar_t *library_path);

// program_path, then arguments[1] to arguments[count - 1], one space apart,
// into child_command_line_buffer(). Aborts when the line would pass 32767
// units, as the launcher's own does.
void build_program_command_line(int count, wchar_t **arguments);
