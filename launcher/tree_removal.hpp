// Removal of a directory with everything below it, through the file-system
// calls and the "\\?\" form of every path, so that neither the length of a
// path nor a name such as "C:", "CON" or "dot." changes what is removed.
//
// What it acts on stays inside the tree: it never descends into a reparse
// point (a symbolic link or junction is removed as the link itself), and it
// acts on an entry only when the system, asked for the name of the opened
// entry, gives the entry's own name in the directory being emptied. Files,
// links and emptied folders alike are removed, and their attributes
// cleared, through that one handle, never by a path that a link put in the
// meantime could lead elsewhere. On a system that opens the target of a
// link whatever it is asked (Wine, for Unix symbolic links) such a link is
// therefore left alone, and with it the directory that holds it.
#pragma once

#include <stddef.h>
#include <wchar.h>

#include "paths/text.hpp"

// The longest path the file-system calls accept, 32767 units, and a
// terminator.
constexpr size_t long_path_units = 32768;
using long_path = wchar_t[long_path_units];

static_assert(long_path_units > wide_path_units + 8, "every target directory has a long form");

// The "\\?\" form of a full path: "C:\x" becomes "\\?\C:\x" and
// "\\server\share\x" becomes "\\?\UNC\server\share\x"; a path that already
// starts with "\\?\" or "\\.\" is copied as it is. Aborts when it does not
// fit, which no wide path buffer can cause.
void make_long_path(long_path &out, const wchar_t *path);

// One deletion request: removes `directory` (a full path) and everything
// below it as far as it can. Goes on past an entry it cannot remove (a file
// held open, a link it will not touch) and leaves it, with the directories
// above it, for a later request. A path that names a file or a link is
// removed as that. Reports nothing. Not for two threads at once: it works in
// process-wide buffers.
void remove_directory_tree(const wchar_t *directory);

// True while `directory` (a full path) names a directory, asked through its
// long form.
bool directory_exists(const wchar_t *directory);
