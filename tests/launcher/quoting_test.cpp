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

// Every append returns whether it fitted; the line never grows past its
// 32767 units.
TEST(Quoting, CommandLineLimit)
{
    clear_child_command_line();
    std::wstring chunk(child_command_line_units - 1, L'x');
    EXPECT_TRUE(append_quoted_argument(chunk.c_str()));
    EXPECT_EQ(child_command_line_units - 1, wcslen(child_command_line_text()));

    clear_child_command_line();
    chunk.assign(child_command_line_units - 3, L'x');
    chunk[0] = L' ';
    EXPECT_TRUE(append_quoted_argument(chunk.c_str())) << "a quoted argument that fills the line exactly";
    EXPECT_EQ(child_command_line_units - 1, wcslen(child_command_line_text()));

    clear_child_command_line();
    chunk.assign(child_command_line_units - 2, L'x');
    EXPECT_TRUE(append_quoted_argument(chunk.c_str()));
    EXPECT_FALSE(append_quoted_argument(L"yz")) << "one unit over";
    EXPECT_LE(wcslen(child_command_line_text()), child_command_line_units - 1);

    // Fits with its opening quote, not with the closing one.
    clear_child_command_line();
    chunk[0] = L' ';
    EXPECT_FALSE(append_quoted_argument(chunk.c_str()));
    EXPECT_LE(wcslen(child_command_line_text()), child_command_line_units - 1);

    // Backslashes doubled before the closing quote are what no longer fits.
    clear_child_command_line();
    chunk.assign(child_command_line_units - 3, L'x');
    chunk[0] = L' ';
    chunk.back() = L'\\';
    EXPECT_FALSE(append_quoted_argument(chunk.c_str()));
}

} // namespace
