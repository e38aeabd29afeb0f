// Path template expansion: syntax, every variable, limits, the run identity.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <stdlib.h>
#include <windows.h>

#include <string>
#include <vector>

#include "paths/build_settings.hpp"
#include "paths/environment_names.hpp"
#include "paths/path_template.hpp"
#include "paths/text.hpp"
#include "tests/support/scenario.hpp"

namespace {

struct expansion {
    bool ok;
    std::wstring text;
};

expansion expand(const wchar_t *path_template, size_t capacity = wide_path_units - 1)
{
    std::vector<wchar_t> output(capacity + 1, L'#');
    bool ok = expand_path_template(output.data(), path_template, capacity);
    return {ok, output.data()};
}

std::wstring env(const char *name)
{
    wchar_t *value = get_env(name);
    std::wstring text = value != nullptr ? value : L"";
    free(value);
    return text;
}

std::wstring temp_path_without_backslash()
{
    wchar_t path[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, path);
    std::wstring text = path;
    while (!text.empty() && text.back() == L'\\')
        text.pop_back();
    return text;
}

std::wstring folder(int id)
{
    wchar_t path[MAX_PATH];
    EXPECT_EQ(S_OK, SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path));
    return path;
}

// Replaces the C runtime's argv[0] for the expansion of {PROGRAM}.
void set_program_argument(const wchar_t *argv0)
{
    static wchar_t *fake[2];
    static std::wstring storage;
    storage = argv0;
    fake[0] = storage.data();
    fake[1] = nullptr;
    __wargv = fake;
}

TEST(TemplateSyntax, EmptyTemplate)
{
    expansion e = expand(L"");
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(L"", e.text);
}

TEST(TemplateSyntax, UnknownAndEmptyNamesFail)
{
    EXPECT_FALSE(expand(L"{}").ok);
    EXPECT_FALSE(expand(L"{NOPE}").ok);
    EXPECT_FALSE(expand(L"{TEMP }").ok);
    expansion e = expand(L"abc{nope}def");
    EXPECT_FALSE(e.ok);
    EXPECT_EQ(L"abc", e.text) << "a terminated prefix stays";
}

TEST(TemplateSyntax, UnclosedNameIsDropped)
{
    expansion e = expand(L"literal{TEMP");
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(L"literal", e.text);
}

TEST(TemplateSyntax, SecondOpeningBraceRestartsTheName)
{
    expansion e = expand(L"{abc{COMPANY}");
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(tarvek_company_name, e.text);
}

TEST(TemplateSyntax, ClosingBraceInLiteralTextIsCopied)
{
    expansion e = expand(L"a}b{PRODUCT}}");
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(std::wstring(L"a}b") + tarvek_product_name + L"}", e.text);
}

TEST(TemplateSyntax, NamesIgnoreAsciiCase)
{
    std::wstring upper = expand(L"{TEMP}").text;
    EXPECT_EQ(upper, expand(L"{temp}").text);
    EXPECT_EQ(upper, expand(L"{Temp}").text);
    EXPECT_EQ(expand(L"{COMPANY}").text, expand(L"{company}").text);
}

TEST(TemplateSyntax, NameLongerThanTheNameBufferIsUnknown)
{
    std::wstring name(template_name_units + 10, L'T');
    EXPECT_FALSE(expand((L"{" + name + L"}").c_str()).ok);
    // The name buffer is reset by a later brace: a long run before it is harmless.
    EXPECT_TRUE(expand((L"{" + name + L"{PID}").c_str()).ok);
}

TEST(TemplateLimits, LiteralOverflowFillsExactlyTheCapacity)
{
    expansion e = expand(L"abcdef", 4);
    EXPECT_FALSE(e.ok);
    EXPECT_EQ(L"abcd", e.text);
    expansion exact = expand(L"abcd", 4);
    EXPECT_TRUE(exact.ok);
    EXPECT_EQ(L"abcd", exact.text);
}

TARVEK_SCENARIO(value_overflow)
{
    // The company name is longer than the three units left.
    wchar_t output[4];
    expand_path_template(output, L"{COMPANY}");
    return 0;
}

TARVEK_SCENARIO(value_fits_exactly)
{
    std::vector<wchar_t> output(wcslen(tarvek_company_name) + 1);
    bool ok = expand_path_template(output.data(), L"{COMPANY}", output.size() - 1);
    return ok && wcscmp(output.data(), tarvek_company_name) == 0 ? 0 : 1;
}

TEST(TemplateLimits, ValueOverflowEndsTheProcess)
{
    EXPECT_TRUE(is_abort_exit(run_scenario("value_overflow").exit_code));
    EXPECT_EQ(0u, run_scenario("value_fits_exactly").exit_code);
}

TEST(TemplateVariables, Temp)
{
    expansion e = expand(L"{TEMP}");
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(temp_path_without_backslash(), e.text);
    EXPECT_NE(L'\\', e.text.back());
}

TEST(TemplateVariables, TempThatDoesNotFitAppendsNothing)
{
    // The literal backslash before the empty value is removed as well.
    expansion e = expand(L"a\\{TEMP}", 3);
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(L"a", e.text);
}

TEST(TemplateVariables, TrailingBackslashesAreAllRemoved)
{
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", L"C:\\tarvek-temp\\\\\\"));
    ASSERT_TRUE(SetEnvironmentVariableW(L"TEMP", L"C:\\tarvek-temp\\\\\\"));
    wchar_t raw[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, raw);
    expansion e = expand(L"{TEMP}");
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(L"C:\\tarvek-temp", e.text) << "platform gave " << raw;
    // Removal stops at the start of the output.
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", L"\\"));
    ASSERT_TRUE(SetEnvironmentVariableW(L"TEMP", L"\\"));
    GetTempPathW(MAX_PATH + 1, raw);
    if (wcscmp(raw, L"\\") == 0)
        EXPECT_EQ(L"", expand(L"\\\\{TEMP}").text);
}

TEST(TemplateVariables, HomeAndCacheDir)
{
    expansion home = expand(L"{HOME}");
    EXPECT_TRUE(home.ok);
    EXPECT_EQ(folder(CSIDL_PROFILE), home.text);
    expansion cache = expand(L"{CACHE_DIR}\\x");
    EXPECT_TRUE(cache.ok);
    EXPECT_EQ(folder(CSIDL_LOCAL_APPDATA) + L"\\x", cache.text);
}

TEST(TemplateVariables, CompiledInTexts)
{
    EXPECT_EQ(tarvek_company_name, expand(L"{COMPANY}").text);
    EXPECT_EQ(tarvek_product_name, expand(L"{PRODUCT}").text);
    EXPECT_EQ(tarvek_file_version, expand(L"{VERSION}").text);
    EXPECT_EQ(expand(L"{VERSION}").text, expand(L"{FILE_VERSION}").text);
    EXPECT_EQ(tarvek_product_version, expand(L"{PRODUCT_VERSION}").text);
}

TEST(TemplateVariables, ProgramBaseAndDirOfAFullPathInCapitals)
{
    set_program_argument(L"C:\\Apps\\My Tool\\TOOL.EXE");
    EXPECT_EQ(L"C:\\Apps\\My Tool\\TOOL.EXE", expand(L"{PROGRAM}").text);
    EXPECT_EQ(L"C:\\Apps\\My Tool\\TOOL", expand(L"{PROGRAM_BASE}").text);
    EXPECT_EQ(L"C:\\Apps\\My Tool", expand(L"{PROGRAM_DIR}").text);
}

TEST(TemplateVariables, ProgramBaseAndDirOfShortNames)
{
    set_program_argument(L"tool.exe");
    EXPECT_EQ(L"tool", expand(L"{PROGRAM_BASE}").text);
    EXPECT_EQ(L"tool.exe", expand(L"{PROGRAM_DIR}").text);
    set_program_argument(L"exe");
    EXPECT_EQ(L"exe", expand(L"{PROGRAM_BASE}").text);
    set_program_argument(L".exe");
    EXPECT_EQ(L"", expand(L"{PROGRAM_BASE}").text);
    set_program_argument(L"a.ex");
    EXPECT_EQ(L"a.ex", expand(L"{PROGRAM_BASE}").text);
}

TEST(TemplateVariables, ProgramDirLooksOnlyAtTheProgramText)
{
    set_program_argument(L"tool");
    EXPECT_EQ(L"x\\y\\tool", expand(L"x\\y\\{PROGRAM_DIR}").text);
    EXPECT_EQ(L"x.exetool", expand(L"x.exe{PROGRAM_BASE}").text);
}

TEST(TemplateVariables, NestedProgramExpansionThatDoesNotFit)
{
    set_program_argument(L"C:\\a.exe");
    // Nested value overflow is a value overflow: see the scenario below.
    EXPECT_EQ(L"C:\\a", expand(L"{PROGRAM_BASE}", 8).text);
}

TARVEK_SCENARIO(program_base_overflow)
{
    set_program_argument(L"C:\\long\\path\\tool.exe");
    wchar_t output[8];
    expand_path_template(output, L"{PROGRAM_BASE}");
    return 0;
}

TARVEK_SCENARIO(missing_program_argument)
{
    static wchar_t *empty[1] = {nullptr};
    __wargv = empty;
    wchar_t output[64];
    expand_path_template(output, L"{PROGRAM}");
    return 0;
}

TEST(TemplateVariables, ProgramLimitsEndTheProcess)
{
    EXPECT_TRUE(is_abort_exit(run_scenario("program_base_overflow").exit_code));
    EXPECT_TRUE(is_abort_exit(run_scenario("missing_program_argument").exit_code));
}

TEST(RunIdentity, PidFromTheParentVariable)
{
    set_env(env_parent, L"4711");
    EXPECT_EQ(L"4711", expand(L"{PID}").text);
    set_env(env_parent, nullptr);
    EXPECT_EQ(std::to_wstring(GetCurrentProcessId()), expand(L"{PID}").text);
    set_env(env_parent, L"");
    EXPECT_EQ(std::to_wstring(GetCurrentProcessId()), expand(L"{PID}").text);
    EXPECT_EQ(L"", env(env_parent)) << "PID never writes the environment";
}

TARVEK_SCENARIO(pid_with_non_digit)
{
    wchar_t output[64];
    expand_path_template(output, L"{PID}");
    return 0;
}

TEST(RunIdentity, NonDigitParentIdEndsTheProcess)
{
    for (const wchar_t *value : {L"+12", L" 12", L"12a", L"1\\2"}) {
        process_options options;
        options.environment = {{L"TARVEK_ONEFILE_PARENT", value}};
        process_result r = run_scenario("pid_with_non_digit", {}, options);
        EXPECT_TRUE(is_abort_exit(r.exit_code)) << narrow(value) << " gave " << r.exit_code;
    }
    process_options digits;
    digits.environment = {{L"TARVEK_ONEFILE_PARENT", L"0012"}};
    EXPECT_EQ(0u, run_scenario("pid_with_non_digit", {}, digits).exit_code);
}

TEST(RunIdentity, TokensAreMadeOnceStoredAndReused)
{
    for (const char *name : {env_start, env_time_us, env_random})
        set_env(name, nullptr);
    expansion first = expand(L"{TIME}_{TIME_US}_{RANDOM}");
    ASSERT_TRUE(first.ok);
    std::wstring random = env(env_random);
    std::wstring time_us = env(env_time_us);
    std::wstring time = env(env_start);
    EXPECT_EQ(11u, random.size());
    EXPECT_EQ(6u, time_us.size());
    EXPECT_EQ(std::wstring::npos, time_us.find_first_not_of(L"0123456789"));
    EXPECT_EQ(18u, time.size()) << time;
    EXPECT_EQ(time + L"_" + time_us + L"_" + random, first.text);
    Sleep(5);
    EXPECT_EQ(first.text, expand(L"{TIME}_{TIME_US}_{RANDOM}").text);
}

TEST(RunIdentity, StoredValuesAreUsedVerbatim)
{
    set_env(env_random, L"any\\thing at all");
    set_env(env_time_us, L"12");
    set_env(env_start, L"x");
    EXPECT_EQ(L"any\\thing at all|12|x", expand(L"{RANDOM}|{TIME_US}|{TIME}").text);
}

TEST(RunIdentity, EmptyValuesAreMadeAfresh)
{
    set_env(env_random, L"");
    std::wstring made = expand(L"{RANDOM}").text;
    EXPECT_EQ(11u, made.size());
    EXPECT_EQ(made, env(env_random));
}

TEST(RunIdentity, TargetDirectoryTemplate)
{
    set_env(env_parent, nullptr);
    set_env(env_time_us, nullptr);
    set_env(env_random, nullptr);
    expansion e = expand(L"{TEMP}\\onefile_{PID}_{TIME_US}_{RANDOM}");
    ASSERT_TRUE(e.ok);
    std::wstring expected = temp_path_without_backslash() + L"\\onefile_" +
                            std::to_wstring(GetCurrentProcessId()) + L"_" + env(env_time_us) +
                            L"_" + env(env_random);
    EXPECT_EQ(expected, e.text);
    EXPECT_EQ(L"", env(env_start)) << "TIME is not in this template";
    EXPECT_EQ(e.text, expand(L"{TEMP}\\onefile_{PID}_{TIME_US}_{RANDOM}").text);
}

} // namespace
