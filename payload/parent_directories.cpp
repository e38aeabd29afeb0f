#include "payload/parent_directories.hpp"

#include <stddef.h>
#include <wchar.h>

#include "paths/text.hpp"
#include "payload/directory_cache.hpp"

// Index of the last backslash before `end`, at index 1 or higher; 0 when
// there is none (index 0 is never taken).
static size_t last_separator(const wchar_t *path, size_t end)
{
    for (size_t i = end; i > 1; --i)
        if (path[i - 1] == L'\\')
            return i - 1;
    return 0;
}

// Climbs one level at a time until a level exists or can be made, then makes
// the levels below it from the top down. The levels live in one buffer, cut
// at the separators on the way up and joined again on the way down, so the
// depth of a path costs no stack.
void ensure_parent_directories(const wchar_t *file_path)
{
    wide_path directory;
    copy_wide(directory, file_path);
    size_t parent_end = last_separator(directory, wcslen(directory));
    if (parent_end == 0)
        return;
    directory[parent_end] = 0;
    if (create_directory_cached(directory))
        return;

    size_t level_end = parent_end;
    for (;;) {
        size_t above = last_separator(directory, level_end);
        if (above == 0) {
            // Nothing above this level: it gets one more try of its own.
            create_directory_cached(directory);
            break;
        }
        directory[above] = 0;
        level_end = above;
        if (create_directory_cached(directory))
            break;
    }
    while (level_end != parent_end) {
        directory[level_end] = L'\\';
        level_end += wcslen(directory + level_end);
        create_directory_cached(directory);
    }
}
