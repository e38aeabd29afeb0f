#include "paths/path_normalisation.hpp"

#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "paths/unique_handle.hpp"

// The forms GetFinalPathNameByHandleW returns: "\\?\C:\dir\file" and
// "\\?\UNC\server\share\file".
static constexpr wchar_t local_prefix[] = L"\\\\?\\";
static constexpr wchar_t network_prefix[] = L"\\\\?\\UNC\\";
static constexpr size_t local_prefix_length = 4;
static constexpr size_t network_prefix_length = 8;
static_assert(sizeof local_prefix / sizeof(wchar_t) == local_prefix_length + 1);
static_assert(sizeof network_prefix / sizeof(wchar_t) == network_prefix_length + 1);

using final_path_function = DWORD(WINAPI *)(HANDLE file, LPWSTR path, DWORD units, DWORD flags);

// Looked up by name rather than imported, so that a system without it still
// loads the launcher.
static final_path_function find_final_path_function()
{
    HMODULE kernel = GetModuleHandleA("Kernel32.dll");
    if (kernel == nullptr)
        return nullptr;
    FARPROC address = GetProcAddress(kernel, "GetFinalPathNameByHandleW");
    return reinterpret_cast<final_path_function>(reinterpret_cast<void *>(address));
}

// Bounded copy that tolerates output and input being the same buffer.
static void copy_path(wchar_t *output, const wchar_t *input, size_t capacity)
{
    if (output == input) {
        if (wcslen(output) > capacity)
            abort();
        return;
    }
    output[0] = 0;
    append_wide(output, capacity, input);
}

// Removes count units from the start of text.
static void drop_leading(wchar_t *text, size_t count)
{
    memmove(text, text + count, (wcslen(text + count) + 1) * sizeof(wchar_t));
}

static bool starts_with(const wchar_t *text, const wchar_t *prefix, size_t length)
{
    return wcsncmp(text, prefix, length) == 0;
}

void strip_final_path_prefix(wchar_t *path, const wchar_t *input)
{
    if (starts_with(path, local_prefix, local_prefix_length)) {
        const wchar_t *rest = path + local_prefix_length;
        bool drive = rest[0] != 0 && rest[1] == L':';
        // Equal to the input: dropping the prefix gives the input back.
        if (drive || wcscmp(rest, input) == 0)
            drop_leading(path, local_prefix_length);
    }
    if (starts_with(path, network_prefix, network_prefix_length)) {
        // The last two units of the prefix become the leading "\\".
        path[network_prefix_length - 2] = L'\\';
        drop_leading(path, network_prefix_length - 2);
    }
}

void resolve_final_path(wchar_t *output, const wchar_t *input, size_t capacity, bool resolve)
{
    if (!resolve) {
        copy_path(output, input, capacity);
        return;
    }
    // Access 0: the handle serves only to ask for the file's name.
    unique_file file(CreateFileW(input, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    copy_path(output, input, capacity);
    if (!file)
        return;
    // The handle is closed as soon as the name is read.
    final_path_function get_final_path = find_final_path_function();
    if (get_final_path != nullptr) {
        if (capacity >= MAXDWORD)
            abort();
        // The length without the terminator; the units it would need when
        // the buffer is too small; 0 on failure, leaving output as it is.
        DWORD length = get_final_path(file.get(), output, static_cast<DWORD>(capacity + 1), 0);
        file.reset();
        if (length > capacity)
            abort();
    } else {
        file.reset();
    }
    strip_final_path_prefix(output, input);
}

// Replaces an existing directory by its short form; keeps it otherwise.
static void shorten_in_place(wchar_t *directory, size_t capacity)
{
    DWORD needed = GetShortPathNameW(directory, nullptr, 0);
    if (needed == 0)
        return;
    wchar_t *short_form = static_cast<wchar_t *>(malloc((size_t{needed} + 1) * sizeof(wchar_t)));
    if (short_form == nullptr)
        abort();
    short_form[0] = 0;
    short_form[needed] = 0;
    DWORD length = GetShortPathNameW(directory, short_form, needed);
    // Longer than the first answer: the directory changed in between.
    if (length > needed)
        abort();
    // 0: it went away in between, and short_form holds nothing to use.
    if (length != 0)
        copy_path(directory, short_form, capacity);
    free(short_form);
}

void shorten_directory(wchar_t *path, size_t capacity)
{
    wchar_t *separator = wcsrchr(path, L'\\');
    wchar_t *last_component = nullptr;
    if (separator != nullptr) {
        last_component = _wcsdup(separator + 1);
        if (last_component == nullptr)
            abort();
        *separator = 0;
    }
    shorten_in_place(path, capacity);
    if (last_component != nullptr) {
        append_wide(path, capacity, L"\\");
        append_wide(path, capacity, last_component);
        free(last_component);
    }
}
