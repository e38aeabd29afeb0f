// The check after each WriteFile: a failed call and a call that wrote fewer
// bytes than asked both end extraction with the unpack failure.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "payload/entry_file.hpp"
#include "tests/payload/payload_test_support.hpp"
#include "tests/support/scenario.hpp"

namespace {

TARVEK_SCENARIO(check_written)
{
    auto number = [&](size_t i) { return static_cast<uint32_t>(std::stoul(arguments.at(i))); };
    check_chunk_written(arguments.at(0) == L"ok", number(1), number(2), number(3));
    return 0;
}

std::string unpack_failure(uint32_t code)
{
    char *text = nullptr;
    DWORD n = FormatMessageA(0x1300, nullptr, code, 0x0409, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string system_text(text, n);
    LocalFree(text);
    while (!system_text.empty() && (system_text.back() == '\n' || system_text.back() == '\r'))
        system_text.pop_back();
    return "Error, couldn't unpack file to target path. ([Error " + std::to_string(code) + "] " + system_text +
           ")" + line_end;
}

TEST(EntryFileWrite, FailedWriteReportsTheSystemError)
{
    process_result r = run_scenario("check_written", {L"failed", L"112", L"0", L"32768"});
    EXPECT_EQ(2u, r.exit_code);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(unpack_failure(ERROR_DISK_FULL), r.err);
}

TEST(EntryFileWrite, ShortWriteIsAFailureNotATruncatedFile)
{
    process_result r = run_scenario("check_written", {L"ok", L"0", L"32767", L"32768"});
    EXPECT_EQ(2u, r.exit_code);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(unpack_failure(ERROR_WRITE_FAULT), r.err);
}

TARVEK_SCENARIO(open_fails)
{
    unpack_entry_file(arguments.at(0).c_str(), 0);
    return 0;
}

// A path with units the C runtime's "%ls" cannot write: the line is whole,
// those units shown as '?', the others as before.
TEST(EntryFileOpen, FailureLineIsWholeWhateverThePathHolds)
{
    process_result r = run_scenario("open_fails", {L"T:\\no such folder \u4E2D\u6587\\caf\u00E9 \U0001F600.txt"});
    EXPECT_EQ(2u, r.exit_code);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("Error, failed to open 'T:\\no such folder ??\\caf\xE9 ??.txt' for writing." + std::string(line_end),
              r.err);
}

} // namespace
