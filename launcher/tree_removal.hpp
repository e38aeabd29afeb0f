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
#include <stdint.h>
#include <wchar.h>
#include <windows.h>

#include "paths/text.hpp"

// The longest path the file-system calls accept, 32767 units, and a
// terminator.
constexpr size_t long_path_units = 32768;
using long_path = wchar_t[long_path_units];

static_assert(long_path_units > wide_path_units + 8, "every target directory has a long form");

// A file's path within its volume, as the system names an open handle
// (FILE_NAME_INFO with room for the longest path).
struct volume_path {
    DWORD bytes;
    wchar_t units[long_path_units];
};

// Every level adds at least "\x" to a path that fits long_path_units, so the
// levels cannot run out before the path does.
constexpr size_t max_removal_levels = long_path_units / 2;

// GetFileInformationByHandleEx and SetFileInformationByHandle, looked up by
// name like the other calls that a system older than the launcher's oldest
// may lack. Null when missing.
using file_information_function = BOOL(WINAPI *)(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind,
                                                 void *information, DWORD bytes);

// Everything one removal keeps while it walks: the entry at hand in long
// form, the system's names of the directory being emptied and of the entry
// just opened, and per level the number of entries tried that stay. Each
// thread that removes has one of its own (the clean-up's, the sweep's), a
// process-wide object of about 256 KiB: two removals at the same time never
// share one.
struct tree_removal {
    long_path path;
    size_t length;
    volume_path folder_name;
    volume_path entry_name;
    uint32_t left_at_level[max_removal_levels];
    file_information_function get_file_information;
    file_information_function set_file_information;
};

// The "\\?\" form of a full path: "C:\x" becomes "\\?\C:\x" and
// "\\server\share\x" becomes "\\?\UNC\server\share\x"; a path that already
// starts with "\\?\" or "\\.\" is copied as it is. Aborts when it does not
// fit, which no wide path buffer can cause.
void make_long_path(long_path &out, const wchar_t *path);

// One deletion request: removes `directory` (a full path) and everything
// below it as far as it can, walking in `removal`. Goes on past an entry it
// cannot remove (a file held open, a link it will not touch) and leaves it,
// with the directories above it, for a later request. A path that names a
// file or a link is removed as that. Reports nothing.
void remove_directory_tree(tree_removal &removal, const wchar_t *directory);

// True while `directory` (a full path) names a directory, asked through its
// long form (made in `removal`).
bool directory_exists(tree_removal &removal, const wchar_t *directory);
