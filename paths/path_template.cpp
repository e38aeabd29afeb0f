#include "paths/path_template.hpp"

#include <shlobj.h>
#include <stdlib.h>
#include <wchar.h>
#include <windows.h>

#include "paths/build_settings.hpp"
#include "paths/run_identity.hpp"
#include "paths/system_functions.hpp"
#include "paths/text.hpp"

namespace {

enum class variable {
    temp,
    program,
    program_base,
    program_dir,
    pid,
    home,
    cache_dir,
    company,
    product,
    version,
    file_version,
    product_version,
    random,
    time_us,
    time,
    unknown,
};

struct variable_name {
    const wchar_t *name;
    variable id;
};

constexpr variable_name variable_names[] = {
    {L"TEMP", variable::temp},
    {L"PROGRAM", variable::program},
    {L"PROGRAM_BASE", variable::program_base},
    {L"PROGRAM_DIR", variable::program_dir},
    {L"PID", variable::pid},
    {L"HOME", variable::home},
    {L"CACHE_DIR", variable::cache_dir},
    {L"COMPANY", variable::company},
    {L"PRODUCT", variable::product},
    {L"VERSION", variable::version},
    {L"FILE_VERSION", variable::file_version},
    {L"PRODUCT_VERSION", variable::product_version},
    {L"RANDOM", variable::random},
    {L"TIME_US", variable::time_us},
    {L"TIME", variable::time},
};
static_assert(sizeof variable_names / sizeof variable_names[0] == 15);

// The output being written: its end (always a terminator) and the number of
// characters that still fit.
struct cursor {
    wchar_t *start;
    wchar_t *end;
    size_t remaining;
};

} // namespace

static variable find_variable(const wchar_t *name)
{
    for (const variable_name &known : variable_names)
        if (_wcsicmp(name, known.name) == 0)
            return known.id;
    return variable::unknown;
}

// The C runtime's wide argv[0]; ends the process when there is none.
static const wchar_t *program_argument()
{
    wchar_t **arguments = __wargv;
    if (arguments == nullptr || arguments[0] == nullptr)
        abort();
    return arguments[0];
}

static bool fetch_folder(int folder, wchar_t (&scratch)[template_scratch_units])
{
    static_assert(template_scratch_units >= MAX_PATH);
    scratch[0] = 0;
    auto get_folder_path = system_function<decltype(SHGetFolderPathW)>(L"shell32.dll", "SHGetFolderPathW");
    return get_folder_path != nullptr &&
           get_folder_path(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, scratch) == S_OK;
}

// The temporary directory written straight into the output. A failing call or
// one that does not fit leaves nothing behind.
static void write_temp_path(cursor &out)
{
    DWORD size = static_cast<DWORD>(out.remaining);
    DWORD length = GetTempPathW(size, out.end);
    if (length == 0 || length >= size)
        *out.end = 0;
}

// Appends the value of one known variable at out.end. False when the
// expansion must fail.
static bool append_variable(variable id, cursor &out)
{
    wchar_t scratch[template_scratch_units];
    switch (id) {
    case variable::temp:
        write_temp_path(out);
        return true;
    case variable::program:
        append_wide(out.end, out.remaining, program_argument());
        return true;
    case variable::program_base: {
        if (!expand_path_template(out.end, L"{PROGRAM}", out.remaining))
            return false;
        size_t length = wcslen(out.end);
        if (length >= 4 && _wcsicmp(out.end + length - 4, L".exe") == 0)
            out.end[length - 4] = 0;
        return true;
    }
    case variable::program_dir: {
        if (!expand_path_template(out.end, L"{PROGRAM}", out.remaining))
            return false;
        wchar_t *last = wcsrchr(out.end, L'\\');
        if (last != nullptr)
            *last = 0;
        return true;
    }
    case variable::pid:
        append_pid_token(out.end, out.remaining);
        return true;
    case variable::home:
    case variable::cache_dir:
        if (!fetch_folder(id == variable::home ? CSIDL_PROFILE : CSIDL_LOCAL_APPDATA, scratch))
            return false;
        append_wide(out.end, out.remaining, scratch);
        return true;
    case variable::company:
        append_wide(out.end, out.remaining, tarvek_company_name);
        return true;
    case variable::product:
        append_wide(out.end, out.remaining, tarvek_product_name);
        return true;
    case variable::version:
    case variable::file_version:
        append_wide(out.end, out.remaining, tarvek_file_version);
        return true;
    case variable::product_version:
        append_wide(out.end, out.remaining, tarvek_product_version);
        return true;
    case variable::random:
        append_random_token(out.end, out.remaining);
        return true;
    case variable::time_us:
        append_time_us_token(out.end, out.remaining);
        return true;
    case variable::time:
        append_time_token(out.end, out.remaining);
        return true;
    case variable::unknown:
        break;
    }
    return false;
}

static bool strips_trailing_backslashes(variable id)
{
    return id == variable::temp || id == variable::home || id == variable::cache_dir;
}

// Resolves a complete name and appends its value; false ends the expansion.
static bool resolve_name(const wchar_t *name, cursor &out)
{
    variable id = find_variable(name);
    if (id == variable::unknown || !append_variable(id, out))
        return false;
    size_t length = wcslen(out.end);
    out.end += length;
    out.remaining -= length;
    if (strips_trailing_backslashes(id)) {
        while (out.end > out.start && out.end[-1] == L'\\') {
            *--out.end = 0;
            ++out.remaining;
        }
    }
    return true;
}

bool expand_path_template(wchar_t *output, const wchar_t *path_template, size_t capacity)
{
    cursor out = {output, output, capacity};
    *out.end = 0;
    wchar_t name[template_name_units];
    size_t name_length = 0;
    bool name_too_long = false;
    bool in_name = false;
    for (const wchar_t *next = path_template;; ++next) {
        wchar_t c = *next;
        if (c == 0)
            return true; // an unfinished name is dropped
        if (c == L'{') {
            name_length = 0;
            name_too_long = false;
            in_name = true;
        } else if (in_name && c == L'}') {
            name[name_length] = 0;
            in_name = false;
            if (name_too_long || !resolve_name(name, out))
                return false;
        } else if (in_name) {
            if (name_length < template_name_units - 1)
                name[name_length++] = c;
            else
                name_too_long = true;
        } else {
            // Literal text, a lone '}' included.
            if (out.remaining == 0)
                return false;
            *out.end++ = c;
            *out.end = 0;
            --out.remaining;
        }
    }
}
