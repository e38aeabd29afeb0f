// The command-line tail of the windowed entry: where the program name ends.
#include <gtest/gtest.h>

#include <string>

#include "image/command_tail.hpp"

namespace {

std::wstring tail(std::wstring line)
{
    return command_line_tail(line.data());
}

TEST(CommandTail, ProgramNameEndsAtTheFirstBlankOutsideQuotes)
{
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"", L""},
        {L"probe", L""},
        {L"probe   ", L""},
        {L"probe a b", L"a b"},
        {L"probe \t a", L"a"},
        {L"\"C:\\a b\\probe.exe\" x", L"x"},
        {L"\"a b\"c d", L"d"},        // quotes toggle inside the name
        {L"a\"b c\"d e", L"e"},       // a quoted blank inside an unquoted start
        {L"\"unterminated name", L""},
        {L"\"\" x", L"x"},            // an empty quoted name
        {L"probe\x01\x1F" L"a", L"a"}, // every unit at or below U+0020 is a blank
        {L"pr\x00A0obe x", L"x"},     // U+00A0 is not
    };
    for (const auto &[line, wanted] : cases)
        EXPECT_EQ(wanted, tail(line)) << "line of " << line.size() << " units";
}

TEST(CommandTail, TailPointsIntoTheLine)
{
    std::wstring line = L"probe  rest";
    EXPECT_EQ(line.data() + 7, command_line_tail(line.data()));
}

} // namespace
