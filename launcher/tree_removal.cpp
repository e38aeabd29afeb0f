#include "launcher/tree_removal.hpp"

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>
#include <windows.h>

#include "paths/unique_handle.hpp"

// The walk goes down one directory at a time and comes back up, without
// recursion: the path of the entry at hand lives in one buffer, and each
// level keeps only the number of its entries that were tried and stay.
// Listing a directory again after coming back up skips that many entries:
// removing entries leaves the others in the order they were listed in.
// Everything a walk keeps is in its tree_removal, which the caller owns.

// Read-only stops a deletion; hidden and system are cleared along with it.
constexpr DWORD removable_attributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

enum class outcome { removed, left, entered };

// "\\?\", the shortest start of a long path.
constexpr size_t long_path_prefix_units = 4;

void make_long_path(long_path &out, const wchar_t *path)
{
    out[0] = 0;
    if (wcsncmp(path, L"\\\\?\\", long_path_prefix_units) == 0 ||
        wcsncmp(path, L"\\\\.\\", long_path_prefix_units) == 0) {
        // "\\.\" is the same full path with the names still interpreted.
        append_wide(out, L"\\\\?\\");
        append_wide(out, path + long_path_prefix_units);
    } else if (wcsncmp(path, L"\\\\", 2) == 0) {
        append_wide(out, L"\\\\?\\UNC\\");
        append_wide(out, path + 2);
    } else {
        append_wide(out, L"\\\\?\\");
        append_wide(out, path);
    }
}

// A directory to go down into; a link to one is not.
static bool is_folder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

static bool is_self_or_parent(const wchar_t *name)
{
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

// A name that stays one component when joined to a path. A listing can
// carry others (Wine shows a Unix file named "..\x" as it is).
static bool is_plain_name(const wchar_t *name)
{
    return name[0] != 0 && !is_self_or_parent(name) && wcschr(name, L'\\') == nullptr &&
           wcschr(name, L'/') == nullptr;
}

// Appends "\name" to the walk path; false, changing nothing, when it does not fit.
static bool enter(tree_removal &walk, const wchar_t *name)
{
    size_t length = wcslen(name);
    if (walk.length + 1 + length >= long_path_units)
        return false;
    walk.path[walk.length] = L'\\';
    wmemcpy(walk.path + walk.length + 1, name, length + 1);
    walk.length += 1 + length;
    return true;
}

// Cuts a path back to what precedes its last backslash.
static void cut_last_component(wchar_t *path, size_t &length)
{
    while (length > 0 && path[length - 1] != L'\\')
        --length;
    if (length > 0)
        --length;
    path[length] = 0;
}

static file_information_function find_file_information_function(const char *name)
{
    HMODULE kernel = GetModuleHandleA("Kernel32.dll");
    if (kernel == nullptr)
        return nullptr;
    FARPROC address = GetProcAddress(kernel, name);
    return reinterpret_cast<file_information_function>(reinterpret_cast<void *>(address));
}

static size_t length_of(const volume_path &path)
{
    return path.bytes / sizeof(wchar_t);
}

// Opens a file, directory or link, the link itself where the system can
// tell it from its target, sharing it with every other user.
static HANDLE open_entry(const wchar_t *path, DWORD access)
{
    return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The system's name for what `opened` is.
static bool name_of(tree_removal &walk, HANDLE opened, volume_path &name)
{
    static_assert(offsetof(volume_path, units) == offsetof(FILE_NAME_INFO, FileName));
    return walk.get_file_information(opened, FileNameInfo, &name, sizeof name) != 0 &&
           name.bytes < sizeof name.units;
}

// The system's name for what `path` opens.
static bool name_opened(tree_removal &walk, const wchar_t *path, volume_path &name)
{
    unique_file opened(open_entry(path, 0));
    if (!opened)
        return false;
    return name_of(walk, opened.get(), name);
}

// Finds the next component of `path`, from `at`, that keeps anything once
// its trailing dots and spaces are dropped: where it starts and how many
// units it keeps. Moves `at` past it; false when there is none.
static bool next_component(const wchar_t *path, size_t length, size_t &at, size_t &start, size_t &kept)
{
    while (at < length) {
        start = at;
        size_t end = start;
        while (end < length && path[end] != L'\\')
            ++end;
        size_t kept_end = end;
        while (kept_end > start && (path[kept_end - 1] == L'.' || path[kept_end - 1] == L' '))
            --kept_end;
        kept = kept_end - start;
        at = end + 1;
        if (kept > 0)
            return true;
    }
    return false;
}

// Whether two paths, or two names, as the system gives them, are the same.
// Wine's names drop trailing dots and spaces from components (all of a name
// made of dots), so components are compared without them and empty ones do
// not count. A name the system gives never holds a "." or ".." of its own.
static bool same_path(const wchar_t *a, size_t a_length, const wchar_t *b, size_t b_length)
{
    size_t i = 0, j = 0;
    for (;;) {
        size_t a_start, a_kept, b_start, b_kept;
        bool a_more = next_component(a, a_length, i, a_start, a_kept);
        bool b_more = next_component(b, b_length, j, b_start, b_kept);
        if (!a_more || !b_more)
            return a_more == b_more;
        if (a_kept != b_kept || wmemcmp(a + a_start, b + b_start, a_kept) != 0)
            return false;
    }
}

// True when the entry just named is the entry listed as `listed_name` in
// the directory being emptied, as the system names both. A link the system
// follows on opening is named after its target instead; so is anything the
// system reads as something else.
static bool entry_is_listed(tree_removal &walk, const wchar_t *listed_name)
{
    size_t parent_length = length_of(walk.entry_name);
    while (parent_length > 0 && walk.entry_name.units[parent_length - 1] != L'\\')
        --parent_length;
    if (parent_length == 0)
        return false;
    const wchar_t *name = walk.entry_name.units + parent_length;
    return same_path(walk.entry_name.units, parent_length - 1, walk.folder_name.units, length_of(walk.folder_name)) &&
           same_path(name, length_of(walk.entry_name) - parent_length, listed_name, wcslen(listed_name));
}

// True when the entry at the walk path, once opened, is the entry listed as
// `listed_name` in the directory being emptied; anything else is left
// alone. Without the system call the listing's attributes have to do.
static bool entry_is_inside(tree_removal &walk, const wchar_t *listed_name)
{
    if (walk.get_file_information == nullptr)
        return true;
    return name_opened(walk, walk.path, walk.entry_name) && entry_is_listed(walk, listed_name);
}

// The entry just checked becomes the directory being emptied.
static void adopt_entry_as_folder(tree_removal &walk)
{
    walk.folder_name.bytes = walk.entry_name.bytes;
    wmemcpy(walk.folder_name.units, walk.entry_name.units, length_of(walk.entry_name));
}

static void leave_folder(tree_removal &walk)
{
    cut_last_component(walk.path, walk.length);
    size_t length = length_of(walk.folder_name);
    while (length > 0 && walk.folder_name.units[length - 1] != L'\\')
        --length;
    walk.folder_name.bytes = static_cast<DWORD>((length > 0 ? length - 1 : 0) * sizeof(wchar_t));
}

// Whether attributes must be cleared before an entry can go. A link keeps
// its own: on some systems setting them reaches its target.
static bool needs_clearing(DWORD attributes)
{
    return (attributes & removable_attributes) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Removes a file, or a link of either kind, at the walk path, by its path
// after a check of its own.
static bool remove_entry_by_path(tree_removal &walk, const wchar_t *listed_name, DWORD attributes)
{
    if (!entry_is_inside(walk, listed_name))
        return false;
    if (needs_clearing(attributes))
        SetFileAttributesW(walk.path, FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return RemoveDirectoryW(walk.path) != 0;
    return DeleteFileW(walk.path) != 0;
}

static void clear_attributes(tree_removal &walk, HANDLE opened)
{
    FILE_BASIC_INFO basic = {}; // times of zero stay as they are
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    walk.set_file_information(opened, FileBasicInfo, &basic, sizeof basic);
}

// The deletion is a mark set only after the check, never asked for on
// opening (FILE_FLAG_DELETE_ON_CLOSE): that could not be withdrawn when the
// check fails, and the handle may then hold a link's target. A folder takes
// the mark only while it is empty.
static bool mark_for_deletion(tree_removal &walk, HANDLE opened)
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return walk.set_file_information(opened, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Checks and removes a file, or a link of either kind, at the walk path
// through one handle: one open instead of two or three, and what goes is
// what was checked.
static bool remove_entry_by_handle(tree_removal &walk, const wchar_t *listed_name, DWORD attributes)
{
    bool clear = needs_clearing(attributes);
    unique_file opened(open_entry(walk.path, DELETE | (clear ? FILE_WRITE_ATTRIBUTES : 0)));
    if (!opened)
        return false;
    if (!name_of(walk, opened.get(), walk.entry_name) || !entry_is_listed(walk, listed_name))
        return false;
    if (clear)
        clear_attributes(walk, opened.get());
    return mark_for_deletion(walk, opened.get());
}

// Removes a file, or a link of either kind, at the walk path, listed as
// `listed_name`, when it is that entry of the directory being emptied.
static bool remove_entry(tree_removal &walk, const wchar_t *listed_name, DWORD attributes)
{
    if (walk.get_file_information == nullptr || walk.set_file_information == nullptr)
        return remove_entry_by_path(walk, listed_name, attributes);
    return remove_entry_by_handle(walk, listed_name, attributes);
}

// Removes the emptied directory at the walk path by its path. Its attributes
// are not at hand, so a refusal is answered by clearing them and trying once
// more.
static bool remove_folder_by_path(tree_removal &walk)
{
    if (RemoveDirectoryW(walk.path))
        return true;
    DWORD attributes = GetFileAttributesW(walk.path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & removable_attributes) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    SetFileAttributesW(walk.path, FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryW(walk.path) != 0;
}

// Removes the emptied directory at the walk path through one handle, when
// the system names what it opened as the directory being emptied. Anything
// put in its place in the meantime is left alone, whatever a path through
// it would reach: a link opened as itself is named as the link and goes as
// a link, a link the system follows (Wine's Unix links) is named after its
// target. A refusal (a read-only folder) is answered by clearing the
// attributes through the same handle and trying once more.
static bool remove_folder_by_handle(tree_removal &walk)
{
    unique_file opened(open_entry(walk.path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES));
    if (!opened)
        return false;
    if (!name_of(walk, opened.get(), walk.entry_name) ||
        !same_path(walk.entry_name.units, length_of(walk.entry_name), walk.folder_name.units, length_of(walk.folder_name)))
        return false;
    if (mark_for_deletion(walk, opened.get()))
        return true;
    FILE_BASIC_INFO basic = {};
    if (!walk.get_file_information(opened.get(), FileBasicInfo, &basic, sizeof basic) ||
        (basic.FileAttributes & removable_attributes) == 0 || (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return false;
    clear_attributes(walk, opened.get());
    return mark_for_deletion(walk, opened.get());
}

static bool remove_folder(tree_removal &walk)
{
    if (walk.get_file_information == nullptr || walk.set_file_information == nullptr)
        return remove_folder_by_path(walk);
    return remove_folder_by_handle(walk);
}

static outcome handle_entry(tree_removal &walk, const WIN32_FIND_DATAW &found, bool may_enter)
{
    if (!is_plain_name(found.cFileName) || !enter(walk, found.cFileName))
        return outcome::left;
    if (is_folder(found.dwFileAttributes) && may_enter && entry_is_inside(walk, found.cFileName)) {
        adopt_entry_as_folder(walk);
        return outcome::entered;
    }
    bool removed = !is_folder(found.dwFileAttributes) && remove_entry(walk, found.cFileName, found.dwFileAttributes);
    cut_last_component(walk.path, walk.length);
    return removed ? outcome::removed : outcome::left;
}

// Lists the directory at the walk path from the first entry not known to
// stay, removes its files and links, and enters the first directory it
// meets (true). False once every entry has been tried. `left` counts the
// entries that stay.
static bool empty_until_subfolder(tree_removal &walk, uint32_t &left, bool may_enter)
{
    if (walk.length + 2 >= long_path_units)
        return false;
    wmemcpy(walk.path + walk.length, L"\\*", 3);
    WIN32_FIND_DATAW found;
    unique_find listing(FindFirstFileExW(walk.path, FindExInfoBasic, &found, FindExSearchNameMatch,
                                         nullptr, FIND_FIRST_EX_LARGE_FETCH));
    walk.path[walk.length] = 0;
    if (!listing)
        return false;
    uint32_t skip = left;
    bool entered = false;
    do {
        if (is_self_or_parent(found.cFileName))
            continue;
        if (skip > 0) {
            --skip;
            continue;
        }
        switch (handle_entry(walk, found, may_enter)) {
        case outcome::removed:
            break;
        case outcome::left:
            ++left;
            break;
        case outcome::entered:
            entered = true;
            break;
        }
    } while (!entered && FindNextFileW(listing.get(), &found));
    return entered;
}

// Empties and removes the directory at the walk path, level by level.
static void remove_folder_tree(tree_removal &walk)
{
    size_t depth = 0;
    walk.left_at_level[0] = 0;
    for (;;) {
        if (empty_until_subfolder(walk, walk.left_at_level[depth], depth + 1 < max_removal_levels)) {
            walk.left_at_level[++depth] = 0;
            continue;
        }
        bool removed = remove_folder(walk);
        if (depth == 0)
            return;
        leave_folder(walk);
        --depth;
        if (!removed)
            ++walk.left_at_level[depth];
    }
}

// Names the directory that holds the walk path's last component, from the
// start of the walk path up to `name_at` (its trailing backslash kept, so
// that a drive's root stays its root).
static bool name_holding_folder(tree_removal &walk, size_t name_at)
{
    wchar_t kept = walk.path[name_at];
    walk.path[name_at] = 0;
    bool named = name_opened(walk, walk.path, walk.folder_name);
    walk.path[name_at] = kept;
    return named;
}

void remove_directory_tree(tree_removal &walk, const wchar_t *directory)
{
    walk.get_file_information = find_file_information_function("GetFileInformationByHandleEx");
    walk.set_file_information = find_file_information_function("SetFileInformationByHandle");
    make_long_path(walk.path, directory);
    walk.length = wcslen(walk.path);
    // Only a named entry of a directory is removed: never a path that ends
    // in a backslash, such as a drive's root, nor one without a directory
    // between the prefix and the name ("\\?\C:").
    size_t name_at = static_cast<size_t>(wcsrchr(walk.path, L'\\') - walk.path) + 1;
    if (name_at <= long_path_prefix_units || !is_plain_name(walk.path + name_at))
        return;
    if (walk.get_file_information != nullptr && !name_holding_folder(walk, name_at))
        return;
    DWORD attributes = GetFileAttributesW(walk.path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!is_folder(attributes)) {
        remove_entry(walk, walk.path + name_at, attributes);
        return;
    }
    if (!entry_is_inside(walk, walk.path + name_at))
        return;
    adopt_entry_as_folder(walk);
    remove_folder_tree(walk);
}

bool directory_exists(tree_removal &walk, const wchar_t *directory)
{
    make_long_path(walk.path, directory);
    DWORD attributes = GetFileAttributesW(walk.path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
