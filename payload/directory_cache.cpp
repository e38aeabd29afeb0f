#include "payload/directory_cache.hpp"

#include <stdlib.h>
#include <wchar.h>
#include <windows.h>

#include "launcher/errors.hpp"
#include "paths/path_template.hpp"
#include "paths/text.hpp"

wchar_t *directory_cache[directory_cache_capacity];
int32_t directory_cache_count;

// Adds a copy while there is room. A copy that cannot be allocated is not
// added: the directory exists all the same, it is just not remembered.
static void remember_directory(const wchar_t *directory)
{
    if (directory_cache_count >= directory_cache_capacity)
        return;
    wchar_t *copy = _wcsdup(directory);
    if (copy == nullptr)
        return;
    directory_cache[directory_cache_count++] = copy;
}

static void seed_directory_cache()
{
    constexpr const wchar_t *home_template = L"{HOME}";
    wide_path home;
    if (!expand_path_template(home, home_template))
        report_spec_failure(home_template);
    remember_directory(home);
}

static bool is_remembered(const wchar_t *directory)
{
    for (int32_t i = 0; i < directory_cache_count; ++i)
        if (wcscmp(directory_cache[i], directory) == 0)
            return true;
    return false;
}

// "C:" and the like: taken to exist without asking the system.
static bool is_drive(const wchar_t *directory)
{
    return directory[0] != 0 && directory[1] == L':' && directory[2] == 0;
}

uint32_t create_new_directory_cached(const wchar_t *directory, SECURITY_ATTRIBUTES *security)
{
    if (directory_cache_count == 0)
        seed_directory_cache();
    if (!CreateDirectoryW(directory, security))
        return GetLastError();
    remember_directory(directory);
    return ERROR_SUCCESS;
}

bool create_directory_cached(const wchar_t *directory)
{
    if (directory_cache_count == 0)
        seed_directory_cache();
    if (is_remembered(directory) || is_drive(directory))
        return true;
    if (!CreateDirectoryW(directory, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    remember_directory(directory);
    return true;
}
