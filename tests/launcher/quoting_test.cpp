// The child's command line: quoting by the standard splitting rules.
#include <gtest/gtest.h>
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "launcher/child_launch.hpp"
#include "tests/support/scenario.hpp"

namespace {

std::wstring quoted(const wchar_t *argument)
{
    clear_child_command_line();
    append_quoted_argument(argument);
    return child_command_line_text();
}

TEST(Quoting, ArgumentsWithoutSpecialCharactersAreCopied)
{
    EXPECT_EQ(L"plain", quoted(L"plain"));
    EXPECT_EQ(L"C:\\dir\\file.txt", quoted(L"C:\\dir\\file.txt"));
    EXPECT_EQ(L"trailing\\\\", quoted(L"trailing\\\\"));
    EXPECT_EQ(L"*?<>|&", quoted(L"*?<>|&"));
}

TEST(Quoting, EmptyArgumentIsKeptAsTwoQuotes)
{
    EXPECT_EQ(L"\"\"", quoted(L""));
}

TEST(Quoting, SpacesTabsAndLineBreaksAreEnclosed)
{
    EXPECT_EQ(L"\"a b\"", quoted(L"a b"));
    EXPECT_EQ(L"\"a\tb\"", quoted(L"a\tb"));
    EXPECT_EQ(L"\"a\nb\"", quoted(L"a\nb"));
    EXPECT_EQ(L"\"a\vb\"", quoted(L"a\vb"));
    // Backslashes before an ordinary character stay single.
    EXPECT_EQ(L"\"C:\\my dir\\x\"", quoted(L"C:\\my dir\\x"));
}

TEST(Quoting, QuotesAndTheBackslashesBeforeThem)
{
    EXPECT_EQ(L"\"a\\\"b\"", quoted(L"a\"b"));
    EXPECT_EQ(L"\"\\\"\"", quoted(L"\""));
    // Two backslashes before a quote become five.
    EXPECT_EQ(L"\"a\\\\\\\\\\\"b\"", quoted(L"a\\\\\"b"));
}

TEST(Quoting, TrailingBackslashesOfAQuotedArgumentAreDoubled)
{
    EXPECT_EQ(L"\"a b\\\\\"", quoted(L"a b\\"));
    EXPECT_EQ(L"\"a b\\\\\\\\\\\\\"", quoted(L"a b\\\\\\"));
}

TEST(Quoting, SplittingTheLineGivesBackEveryArgument)
{
    const std::vector<std::wstring> arguments = {
        L"C:\\Program Files\\app.exe", L"", L"x", L"with space", L"\"", L"\\\\\"", L"end\\",
        L"end space\\\\", L"\\\\server\\share\\", L"\U0001F600", L"a\"b\"c", L" ", L"\t"};
    std::wstring line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0)
            line += L' ';
        line += quoted(arguments[i].c_str());
    }
    int count = 0;
    wchar_t **split = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(nullptr, split);
    ASSERT_EQ(arguments.size(), static_cast<size_t>(count)) << narrow(line);
    for (int i = 1; i < count; ++i)
        EXPECT_EQ(arguments[i], split[i]) << "element " << i << " of " << narrow(line);
    LocalFree(split);
}

TARVEK_SCENARIO(line_exactly_full)
{
    clear_child_command_line();
    std::wstring chunk(child_command_line_units - 1, L'x');
    append_quoted_argument(chunk.c_str());
    return wcslen(child_command_line_text()) == child_command_line_units - 1 ? 0 : 1;
}

TARVEK_SCENARIO(quoted_line_exactly_full)
{
    clear_child_command_line();
    std::wstring chunk(child_command_line_units - 3, L'x');
    chunk[0] = L' ';
    append_quoted_argument(chunk.c_str());
    return wcslen(child_command_line_text()) == child_command_line_units - 1 ? 0 : 1;
}

TARVEK_SCENARIO(line_one_over)
{
    clear_child_command_line();
    std::wstring chunk(child_command_line_units - 2, L'x');
    append_quoted_argument(chunk.c_str());
    append_quoted_argument(L"yz");
    return 0;
}

TARVEK_SCENARIO(closing_quote_over)
{
    // Fits with its opening quote, not with the closing one.
    clear_child_command_line();
    std::wstring chunk(child_command_line_units - 2, L'x');
    chunk[0] = L' ';
    append_quoted_argument(chunk.c_str());
    return 0;
}

TEST(Quoting, CommandLineLimit)
{
    EXPECT_EQ(0u, run_scenario("line_exactly_full").exit_code);
    EXPECT_EQ(0u, run_scenario("quoted_line_exactly_full").exit_code);
    EXPECT_TRUE(is_abort_exit(run_scenario("line_one_over").exit_code));
    EXPECT_TRUE(is_abort_exit(run_scenario("closing_quote_over").exit_code));
}

// The child's own line, argument by argument: each fits whole, space
// included, or the line is too long for the child.
TEST(Quoting, ChildArgumentsThatDoNotFitAreRefused)
{
    clear_child_command_line();
    EXPECT_TRUE(append_child_argument(L"launcher.exe"));
    std::wstring rest(child_command_line_units - 1 - wcslen(L"launcher.exe") - 1, L'x');
    EXPECT_TRUE(append_child_argument(rest.c_str())) << "the space and the argument fill the line exactly";
    EXPECT_EQ(child_command_line_units - 1, wcslen(child_command_line_text()));
    EXPECT_FALSE(append_child_argument(L"")) << "an empty argument still needs its space and quotes";

    clear_child_command_line();
    EXPECT_TRUE(append_child_argument(L"launcher.exe"));
    rest.back() = L'\\';
    rest[0] = L' ';
    EXPECT_FALSE(append_child_argument(rest.c_str())) << "quotes and a doubled backslash do not fit";
    EXPECT_LE(wcslen(child_command_line_text()), child_command_line_units - 1);
}

} // namespace
