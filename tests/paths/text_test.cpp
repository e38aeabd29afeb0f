// Bounded appends, widening, environment access and formatting.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <windows.h>

#include <string>

#include "paths/environment_names.hpp"
#include "paths/text.hpp"
#include "tests/support/scenario.hpp"

namespace {

TEST(BoundedAppend, FillsExactlyToCapacity)
{
    wchar_t buffer[6] = {};
    append_wide(buffer, L"abc");
    append_wide(buffer, L"de");
    EXPECT_STREQ(L"abcde", buffer);
    EXPECT_EQ(0, buffer[5]);
}

TEST(BoundedAppend, EmptySourceOnAFullBufferIsFine)
{
    wchar_t buffer[4] = L"xyz";
    append_wide(buffer, L"");
    append_narrow(buffer, "");
    EXPECT_STREQ(L"xyz", buffer);
}

TEST(BoundedAppend, ExplicitCapacitySmallerThanTheArray)
{
    wchar_t buffer[16] = {};
    append_wide(buffer, 3, L"ab");
    append_wide(buffer, 3, L"c");
    EXPECT_STREQ(L"abc", buffer);
}

TARVEK_SCENARIO(append_one_over)
{
    wchar_t buffer[6] = {};
    append_wide(buffer, L"abc");
    append_wide(buffer, L"def"); // one character too many
    return 0;
}

TARVEK_SCENARIO(append_to_full)
{
    wchar_t buffer[3] = L"ab";
    append_wide(buffer, L"c");
    return 0;
}

TARVEK_SCENARIO(append_null_source)
{
    wchar_t buffer[8] = {};
    append_wide(buffer, nullptr);
    return 0;
}

TARVEK_SCENARIO(append_narrow_one_over)
{
    wchar_t buffer[4] = {};
    append_narrow(buffer, "1234");
    return 0;
}

TEST(BoundedAppend, OverflowEndsTheProcess)
{
    for (const char *name : {"append_one_over", "append_to_full", "append_null_source",
                             "append_narrow_one_over"}) {
        process_result r = run_scenario(name);
        EXPECT_TRUE(is_abort_exit(r.exit_code)) << name << " exit code " << r.exit_code;
        EXPECT_EQ("", r.out) << name;
    }
}

TEST(BoundedAppend, NarrowProcessIdsWidenToTheSameDigits)
{
    for (long id : {0L, 4L, 1234L, 65536L, 2147483647L}) {
        char text[pid_text_bytes];
        int n = format_narrow(text, sizeof text, "%ld", id);
        wchar_t wide[pid_text_bytes] = {};
        append_narrow(wide, text);
        EXPECT_EQ(std::to_wstring(id), wide);
        EXPECT_EQ(static_cast<int>(wcslen(wide)), n);
    }
}

TEST(Formatting, NarrowIsTruncatedAndTerminated)
{
    char text[4];
    EXPECT_EQ(6, format_narrow(text, sizeof text, "%ld", 123456L));
    EXPECT_STREQ("123", text);
}

TEST(Formatting, WideFormatsOfTheRunIdentity)
{
    wchar_t text[32];
    EXPECT_EQ(6, format_wide(text, 32, L"%06ld", 5L));
    EXPECT_STREQ(L"000005", text);
    EXPECT_EQ(18, format_wide(text, 32, L"%lld", 134091232001234567LL));
    EXPECT_STREQ(L"134091232001234567", text);
    EXPECT_EQ(-1, format_wide(nullptr, 0, L"%ld", 1L));
}

constexpr const char *probe_variable = "TARVEK_TEST_VARIABLE";

TEST(Environment, AbsentAndEmptyGiveNull)
{
    SetEnvironmentVariableW(L"TARVEK_TEST_VARIABLE", nullptr);
    EXPECT_EQ(nullptr, get_env(probe_variable));
    SetEnvironmentVariableW(L"TARVEK_TEST_VARIABLE", L"");
    EXPECT_EQ(nullptr, get_env(probe_variable));
}

TEST(Environment, SetReadAndDelete)
{
    EXPECT_TRUE(set_env(probe_variable, L"value \\ with space"));
    wchar_t *value = get_env(probe_variable);
    ASSERT_NE(nullptr, value);
    EXPECT_STREQ(L"value \\ with space", value);
    free(value);
    set_env(probe_variable, nullptr);
    EXPECT_EQ(nullptr, get_env(probe_variable));
    wchar_t check[8];
    EXPECT_EQ(0u, GetEnvironmentVariableW(L"TARVEK_TEST_VARIABLE", check, 8));
}

// What the platform itself reads back of a value of `units` characters into
// a buffer of env_value_units.
DWORD platform_read_length(size_t units)
{
    std::wstring value(units, L'v');
    if (!SetEnvironmentVariableW(L"TARVEK_TEST_VARIABLE", value.c_str()))
        return 0;
    static wchar_t buffer[env_value_units];
    return GetEnvironmentVariableW(L"TARVEK_TEST_VARIABLE", buffer, env_value_units);
}

void expect_read_whole(size_t units)
{
    std::wstring value(units, L'v');
    ASSERT_TRUE(SetEnvironmentVariableW(L"TARVEK_TEST_VARIABLE", value.c_str()));
    wchar_t *copy = get_env(probe_variable);
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(units, wcslen(copy));
    EXPECT_TRUE(value == copy);
    free(copy);
}

TEST(Environment, LongValuesAreReadWhole)
{
    expect_read_whole(1);
    expect_read_whole(4096);
    expect_read_whole(env_value_units - 2);
}

TEST(Environment, LongestValueFits)
{
    // Wine counts environment lengths in 16-bit byte counts and hands back at
    // most 32766 units, reporting success: nothing to test there.
    if (platform_read_length(env_value_units - 1) != env_value_units - 1)
        GTEST_SKIP() << "the platform cannot read a 32767-unit value back";
    expect_read_whole(env_value_units - 1);
}

TEST(Environment, ValueTooLongGivesNull)
{
    std::wstring too_long(env_value_units, L'v');
    if (!SetEnvironmentVariableW(L"TARVEK_TEST_VARIABLE", too_long.c_str()))
        GTEST_SKIP() << "the platform refuses values over 32767 units";
    if (GetEnvironmentVariableW(L"TARVEK_TEST_VARIABLE", nullptr, 0) <= env_value_units)
        GTEST_SKIP() << "the platform stores the value but reports a truncated length";
    EXPECT_EQ(nullptr, get_env(probe_variable));
}

TEST(Environment, LongestNameInUseFitsTheNameBuffer)
{
    ASSERT_EQ(24u, strlen(env_directory));
    set_env(env_directory, L"C:\\somewhere");
    wchar_t *value = get_env(env_directory);
    ASSERT_NE(nullptr, value);
    EXPECT_STREQ(L"C:\\somewhere", value);
    free(value);
    set_env(env_directory, nullptr);
}

TARVEK_SCENARIO(env_name_too_long)
{
    std::string name(env_name_units, 'N'); // 40 characters; 39 fit
    get_env(name.c_str());
    return 0;
}

TARVEK_SCENARIO(env_name_longest)
{
    std::string name(env_name_units - 1, 'N');
    set_env(name.c_str(), L"ok");
    wchar_t *value = get_env(name.c_str());
    return value != nullptr && wcscmp(value, L"ok") == 0 ? 0 : 1;
}

TEST(Environment, NameBufferBoundary)
{
    EXPECT_EQ(0u, run_scenario("env_name_longest").exit_code);
    EXPECT_TRUE(is_abort_exit(run_scenario("env_name_too_long").exit_code));
}

} // namespace
