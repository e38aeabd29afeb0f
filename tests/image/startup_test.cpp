// The image's start-up under Wine, through a launcher image whose
// launcher_main reports its arguments (startup_probe.cpp): the windowed
// entry's four arguments, the runtime's argument vector, the exit code, the
// invalid-parameter handler.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/process.hpp"

namespace {

const std::wstring bin = widen(TARVEK_IMAGE_TEST_BIN);
const std::wstring probe = bin + L"\\startup_probe_0.exe";

struct probe_run {
    process_result process;
    std::multimap<std::string, std::wstring> values;
    std::wstring get(const std::string &key) const
    {
        auto found = values.find(key);
        return found == values.end() ? L"<missing>" : found->second;
    }
    std::vector<std::wstring> argv() const
    {
        std::vector<std::wstring> list;
        for (auto [at, end] = values.equal_range("argv"); at != end; ++at)
            list.push_back(at->second);
        return list;
    }
};

// Undoes the probe's %HHHH escapes.
std::wstring unescape(const std::string &text)
{
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 4 < text.size() + 1) {
            out += static_cast<wchar_t>(std::stoul(text.substr(i + 1, 4), nullptr, 16));
            i += 4;
        } else {
            out += static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
        }
    }
    return out;
}

probe_run run_probe(const std::wstring &command_line, const process_options &options = {})
{
    probe_run run;
    run.process = run_process(probe, command_line, options);
    size_t at = 0;
    const std::string &out = run.process.out;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        std::string line = out.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? out.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            run.values.emplace(line.substr(0, eq), unescape(line.substr(eq + 1)));
    }
    return run;
}

TEST(Startup, WindowedEntryArgumentsAndArgumentVector)
{
    probe_run run = run_probe(L"probe first \"second arg\"");
    ASSERT_EQ(0u, run.process.exit_code) << run.process.out << run.process.err;
    EXPECT_EQ(L"1", run.get("initialiser_ran")) << "the start-up skipped a dynamic initialiser";
    EXPECT_EQ(L"1", run.get("instance_is_image"));
    EXPECT_EQ(L"1", run.get("previous_is_null"));
    EXPECT_EQ(L"first \"second arg\"", run.get("tail"));
    EXPECT_EQ((std::vector<std::wstring>{L"probe", L"first", L"second arg"}), run.argv());
}

TEST(Startup, QuotedProgramNameWithASpace)
{
    probe_run run = run_probe(L"\"C:\\some folder\\startup probe.exe\"   one\ttwo");
    ASSERT_EQ(0u, run.process.exit_code) << run.process.out << run.process.err;
    EXPECT_EQ(L"one\ttwo", run.get("tail"));
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\some folder\\startup probe.exe", L"one", L"two"}), run.argv());
}

TEST(Startup, WildcardsReachLauncherMainUnexpanded)
{
    // Files that the patterns would match if the runtime expanded them.
    std::wstring folder = make_temp_directory(L"wildcards");
    for (const wchar_t *name : {L"a1b.txt", L"a2b.txt", L"x.txt"})
        write_file(folder + L"\\" + name, "x");
    process_options options;
    options.current_directory = folder;
    probe_run run = run_probe(L"probe * *.txt a?b.txt \"?\"", options);
    remove_tree(folder);
    ASSERT_EQ(0u, run.process.exit_code) << run.process.err;
    EXPECT_EQ((std::vector<std::wstring>{L"probe", L"*", L"*.txt", L"a?b.txt", L"?"}), run.argv());
}

TEST(Startup, ShowCommand)
{
    EXPECT_EQ(L"10", run_probe(L"probe").get("show")) << "SW_SHOWDEFAULT without STARTF_USESHOWWINDOW";
    for (uint16_t show : {uint16_t(0), uint16_t(7), uint16_t(3)}) {
        process_options options;
        options.show_window = show;
        EXPECT_EQ(std::to_wstring(show), run_probe(L"probe", options).get("show"));
    }
}

TEST(Startup, ResultBecomesTheExitCodeUnchanged)
{
    for (auto [argument, code] : std::vector<std::pair<std::wstring, uint32_t>>{
             {L"exit:7", 7u}, {L"exit:0", 0u}, {L"exit:256", 256u}, {L"exit:-1", 0xFFFFFFFFu},
             {L"exit:-2147483648", 0x80000000u}, {L"exit:0xC0000005", 0xC0000005u}}) {
        probe_run run = run_probe(L"probe " + argument);
        EXPECT_EQ(code, run.process.exit_code) << narrow(argument);
        EXPECT_EQ(argument, run.argv().back()) << "launcher_main did not run";
    }
}

TEST(Startup, EveryPaddingOfTheLayoutLoads)
{
    // The same probe with .text ending at every multiple of 512 in a page:
    // .rdata was moved to its page by padding .text or the headers.
    for (int n = 0; n < 8; ++n) {
        std::wstring image = bin + L"\\startup_probe_" + std::to_wstring(n) + L".exe";
        process_result run = run_process(image, L"probe exit:7");
        EXPECT_EQ(7u, run.exit_code) << n << ": " << run.err;
        EXPECT_NE(std::string::npos, run.out.find("argv=exit:7")) << n;
    }
}

TEST(Startup, InvalidParameterReturnsInsteadOfEndingTheProcess)
{
    probe_run run = run_probe(L"probe");
    ASSERT_EQ(0u, run.process.exit_code);
    // _NLSCMPERROR and EINVAL.
    EXPECT_EQ(L"returned 2147483647 errno 22", run.get("invalid_parameter"));
}

} // namespace
