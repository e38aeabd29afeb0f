// The three forms of failure report, byte for byte, with their process ends.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "launcher/errors.hpp"
#include "tests/support/scenario.hpp"

namespace {

// The C runtime writes the standard streams in text mode: a line end is CR LF.
constexpr const char *line_end = "\r\n";

// The system's text for a code as FormatMessageA gives it, line end included.
std::string raw_system_text(uint32_t code)
{
    char *text = nullptr;
    DWORD n = FormatMessageA(0x1300, nullptr, code, 0x0409, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string out = n != 0 ? std::string(text, n) : std::string();
    LocalFree(text);
    return out;
}

TARVEK_SCENARIO(system_error)
{
    uint32_t code = static_cast<uint32_t>(std::stoul(narrow(arguments.at(0)), nullptr, 0));
    report_system_error("Error, load DLL.", code);
    return failure_exit_code;
}

TEST(SystemErrorReport, LineEndOfTheSystemTextIsStripped)
{
    std::string raw = raw_system_text(ERROR_FILE_NOT_FOUND);
    ASSERT_GE(raw.size(), 2u);
    ASSERT_EQ("\r\n", raw.substr(raw.size() - 2)) << "the platform's text ends in CR LF";
    process_result r = run_scenario("system_error", {L"2"});
    EXPECT_EQ(2u, r.exit_code);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("Error, load DLL. ([Error 2] " + raw.substr(0, raw.size() - 2) + ")" + line_end, r.err);
}

TEST(SystemErrorReport, HighCodesArePrintedAsNegativeNumbers)
{
    process_result r = run_scenario("system_error", {L"0x80070005"});
    const std::string prefix = "Error, load DLL. ([Error -2147024891] ";
    EXPECT_EQ(prefix, r.err.substr(0, prefix.size()));
    EXPECT_EQ(std::string(")") + line_end, r.err.substr(r.err.size() - 3));
    EXPECT_EQ(r.err.size() - 1, r.err.find('\n')) << "one line: " << r.err;
}

TEST(SystemErrorReport, CodeWithoutSystemTextStillNamesMessageAndCode)
{
    constexpr uint32_t no_text = 0x2000FFFF;
    ASSERT_EQ("", raw_system_text(no_text));
    process_result r = run_scenario("system_error", {L"0x2000FFFF"});
    EXPECT_EQ(std::string("Error, load DLL. ([Error 536936447] ") + missing_system_text + ")" + line_end,
              r.err);
}

TARVEK_SCENARIO(fatal)
{
    fatal_message(narrow(arguments.at(0)).c_str());
}

TEST(FatalMessage, OneLineOnStandardOutputAndExitCode2)
{
    for (const char *text : {"Error, couldn't find attached data header.", "Error, couldn't allocate memory.",
                             "Error, couldn't decode attached data.", "Error, DLL entry point not found.",
                             "Error, failed to register signal handler."}) {
        process_result r = run_scenario("fatal", {widen(text)});
        EXPECT_EQ(2u, r.exit_code) << text;
        EXPECT_EQ(std::string(text) + line_end, r.out);
        EXPECT_EQ("", r.err);
    }
}

TARVEK_SCENARIO(spec_failure)
{
    report_spec_failure(L"{TEMP}\\onefile_{PID}_{TIME_US}_{RANDOM}");
}

TEST(SpecFailure, NamesTheTemplateOnStandardErrorAndAborts)
{
    process_result r = run_scenario("spec_failure");
    EXPECT_TRUE(is_abort_exit(r.exit_code)) << r.exit_code;
    const std::string line =
        std::string("Error, couldn't runtime expand spec '{TEMP}\\onefile_{PID}_{TIME_US}_{RANDOM}'.") + line_end;
    EXPECT_EQ(line, r.err.substr(0, line.size()));
    EXPECT_EQ("", r.out);
}

} // namespace
