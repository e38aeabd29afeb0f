#include "paths/run_identity.hpp"

#include <stdlib.h>
#include <windows.h>

#include "paths/environment_names.hpp"
#include "paths/system_functions.hpp"
#include "paths/text.hpp"

static constexpr char base64url_alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
static_assert(sizeof(base64url_alphabet) == 65);

// Room for a formatted 64-bit number; values are formatted here before they
// are stored and appended.
static constexpr size_t number_text_units = 32;

// RtlGenRandom, the system's generator behind the C runtime's rand_s. Only a
// parent draws RANDOM, and a parent loads advapi32 anyway: shell32, which it
// loads for {HOME} and its child's command line, imports it.
using generate_random_function = BOOLEAN WINAPI(void *buffer, ULONG bytes);

void make_random_bytes(uint8_t (&bytes)[random_byte_count])
{
    auto generate = system_function<generate_random_function>(L"advapi32.dll", "SystemFunction036");
    if (generate == nullptr || !generate(bytes, sizeof bytes))
        abort();
}

// The terminator never matches: the alphabet's own is not compared.
static bool is_base64url(wchar_t c)
{
    for (const char *a = base64url_alphabet; *a != 0; ++a)
        if (c == static_cast<wchar_t>(*a))
            return true;
    return false;
}

bool is_time_us_token(const wchar_t *text)
{
    size_t digits = leading_digits(text);
    return text[digits] == 0 && digits == time_us_text_units - 1;
}

bool is_random_token(const wchar_t *text)
{
    size_t length = 0;
    while (is_base64url(text[length]))
        ++length;
    return text[length] == 0 && length == random_text_units - 1;
}

bool is_pid_token(const wchar_t *text)
{
    size_t digits = leading_digits(text);
    return text[digits] == 0 && digits > 0;
}

void encode_random_bytes(const uint8_t (&bytes)[random_byte_count],
                         wchar_t (&text)[random_text_units])
{
    size_t out = 0;
    for (size_t in = 0; in < random_byte_count; in += 3) {
        size_t left = random_byte_count - in;
        uint32_t group = static_cast<uint32_t>(bytes[in]) << 16;
        if (left > 1)
            group |= static_cast<uint32_t>(bytes[in + 1]) << 8;
        if (left > 2)
            group |= bytes[in + 2];
        size_t characters = left >= 3 ? 4 : left + 1;
        for (size_t k = 0; k < characters; ++k)
            text[out++] = static_cast<wchar_t>(base64url_alphabet[(group >> (18 - 6 * k)) & 63]);
    }
    static_assert(random_text_units == 12, "8 bytes give 11 characters");
    text[out] = 0;
}

uint32_t microsecond_of(uint64_t filetime)
{
    uint64_t microseconds = filetime / 10;
    uint64_t seconds = microseconds / 1000000;
    return static_cast<uint32_t>(microseconds) - static_cast<uint32_t>(seconds) * 1000000u;
}

static uint64_t read_clock()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) + now.dwLowDateTime;
}

// Appends the stored value of a token, or produces it with `produce`,
// stores it and appends it.
static bool append_stored(const char *name, wchar_t *output, size_t capacity)
{
    wchar_t *value = get_env(name);
    if (value == nullptr)
        return false;
    append_wide(output, capacity, value);
    free(value);
    return true;
}

static void store_and_append(const char *name, const wchar_t *value, wchar_t *output,
                             size_t capacity)
{
    set_env(name, value);
    append_wide(output, capacity, value);
}

void append_own_process_id(wchar_t *output, size_t capacity)
{
    char text[pid_text_bytes];
    format_narrow(text, sizeof text, "%ld", static_cast<long>(GetCurrentProcessId()));
    append_narrow(output, capacity, text);
}

void append_pid_token(wchar_t *output, size_t capacity)
{
    wchar_t *value = get_env(env_parent);
    if (value != nullptr) {
        if (!is_pid_token(value))
            abort();
        append_wide(output, capacity, value);
        free(value);
        return;
    }
    append_own_process_id(output, capacity);
}

void append_time_token(wchar_t *output, size_t capacity)
{
    if (append_stored(env_start, output, capacity))
        return;
    wchar_t text[number_text_units];
    format_wide(text, number_text_units, L"%lld", static_cast<long long>(read_clock()));
    store_and_append(env_start, text, output, capacity);
}

void append_time_us_token(wchar_t *output, size_t capacity)
{
    if (append_stored(env_time_us, output, capacity))
        return;
    wchar_t text[number_text_units];
    format_wide(text, number_text_units, L"%06ld", static_cast<long>(microsecond_of(read_clock())));
    store_and_append(env_time_us, text, output, capacity);
}

void append_random_token(wchar_t *output, size_t capacity)
{
    if (append_stored(env_random, output, capacity))
        return;
    uint8_t bytes[random_byte_count];
    make_random_bytes(bytes);
    wchar_t text[random_text_units];
    encode_random_bytes(bytes, text);
    store_and_append(env_random, text, output, capacity);
}
