// Canonical spelling of an existing file's path, so that two spellings of one
// executable compare equal with wcscmp: resolve_final_path first (links and
// the "\\?\" prefixes), then shorten_directory (8.3 directory names).
//
// Buffers are bounded wide buffers: capacity characters and a terminator.
// Output and input are either the same buffer or do not overlap at all.
// Anything that does not fit ends the process through abort.
#pragma once

#include <stddef.h>
#include <wchar.h>

#include "paths/text.hpp"

// Leaves in output the input path as the file system names the file it
// opens, in the ordinary drive-letter or "\\server\share" form. Without
// resolve, or when the file cannot be opened, output is a copy of input.
void resolve_final_path(wchar_t *output, const wchar_t *input, size_t capacity, bool resolve);

// The last step of resolve_final_path on an opened file's path: "\\?\C:\x"
// becomes "C:\x" (as does "\\?\" followed by exactly the input), and
// "\\?\UNC\server\x" becomes "\\server\x". Other prefixed forms, such as
// volume GUID paths, stay. The text only gets shorter.
void strip_final_path_prefix(wchar_t *path, const wchar_t *input);

// Rewrites everything before the last backslash in its short form, keeping
// the last component (the file name) as it was. A path without a backslash
// is shortened as a whole.
void shorten_directory(wchar_t *path, size_t capacity);

template <size_t N>
void resolve_final_path(wchar_t (&output)[N], const wchar_t *input, bool resolve)
{
    resolve_final_path(output, input, capacity_of(output), resolve);
}

template <size_t N>
void shorten_directory(wchar_t (&path)[N])
{
    shorten_directory(path, capacity_of(path));
}
