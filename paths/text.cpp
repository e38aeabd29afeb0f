#include "paths/text.hpp"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

// Where the next character goes and how many more fit.
static wchar_t *find_end(wchar_t *buffer, size_t capacity, size_t *room)
{
    size_t length = wcslen(buffer);
    if (length > capacity)
        abort();
    *room = capacity - length;
    return buffer + length;
}

void append_wide(wchar_t *buffer, size_t capacity, const wchar_t *source)
{
    if (source == nullptr)
        abort();
    size_t room;
    wchar_t *end = find_end(buffer, capacity, &room);
    for (; *source != 0; ++source) {
        if (room == 0)
            abort();
        *end++ = *source;
        *end = 0;
        --room;
    }
    *end = 0;
}

void append_narrow(wchar_t *buffer, size_t capacity, const char *source)
{
    size_t room;
    wchar_t *end = find_end(buffer, capacity, &room);
    for (; *source != 0; ++source) {
        const char single[2] = {*source, 0};
        wchar_t widened[2];
        if (mbstowcs(widened, single, 2) != 1)
            abort();
        if (room == 0)
            abort();
        *end++ = widened[0];
        *end = 0;
        --room;
    }
    *end = 0;
}

size_t leading_digits(const wchar_t *text)
{
    size_t count = 0;
    while (text[count] >= L'0' && text[count] <= L'9')
        ++count;
    return count;
}

wchar_t *get_env(const char *name)
{
    wchar_t wide_name[env_name_units] = {};
    append_narrow(wide_name, name);
    wchar_t value[env_value_units];
    DWORD length = GetEnvironmentVariableW(wide_name, value, env_value_units);
    if (length == 0 || length >= env_value_units)
        return nullptr;
    return _wcsdup(value);
}

bool set_env(const char *name, const wchar_t *value)
{
    wchar_t wide_name[env_name_units] = {};
    append_narrow(wide_name, name);
    return SetEnvironmentVariableW(wide_name, value) != 0;
}

int format_narrow(char *buffer, size_t size, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int result = vsnprintf(buffer, size, format, arguments);
    va_end(arguments);
    return result;
}

int format_wide(wchar_t *buffer, size_t size, const wchar_t *format, ...)
{
    if (buffer == nullptr && size == 0)
        return -1;
    va_list arguments;
    va_start(arguments, format);
    int result = vswprintf(buffer, size, format, arguments);
    va_end(arguments);
    return result < 0 ? -1 : result;
}
