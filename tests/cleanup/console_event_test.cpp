// Whole runs of packed launchers, ended by real console control events or
// left to end: what is left on disk, what happens to the child.
//
// The events come from a driver, a scenario of this program with a console
// of its own that it shares with the launcher it starts:
// GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) reaches every process attached
// to it (the driver itself ignores it).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/cleanup/cleanup_test_support.hpp"
#include "tests/e2e/run_report.hpp"
#include "tests/support/scenario.hpp"

namespace {

const std::wstring bin = widen(TARVEK_CLEANUP_BIN);
const std::wstring probe_launcher = widen(TARVEK_E2E_BIN) + L"\\probe_launcher.exe";
const std::wstring run_probe_launcher = widen(TARVEK_E2E_BIN) + L"\\run_probe_launcher.exe";

BOOL WINAPI driver_ignores_console_events(DWORD)
{
    return TRUE;
}

std::wstring first_target_directory(const std::wstring &temp)
{
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW((temp + L"\\onefile_*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE)
        return {};
    FindClose(listing);
    return temp + L"\\" + found.cFileName;
}

// The large entry of the large entry launcher, and its size.
const wchar_t *const large_entry = L"\\large.bin";
constexpr unsigned long long large_entry_size = 1ull << 31;

// Waits until the probe's report has a line KEY=...
bool wait_for_report(const std::string &key, const std::wstring &report)
{
    stopwatch clock;
    while (clock.elapsed_ms() < 30000) {
        if (parse_probe_report(read_file(report)).has(key))
            return true;
        Sleep(5);
    }
    return false;
}

unsigned long long file_size(const std::wstring &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return static_cast<unsigned long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// Once the large entry's file exists, a second name for it in `temp`
// (entry-link): the file's size stays readable there after the clean-up
// has removed the target directory. Then waits until the writer is inside
// the entry (the file has grown). Returns the target directory, or nothing
// when either never happens.
std::wstring link_the_entry_once_written_in_part(const std::wstring &temp, const std::wstring &link)
{
    stopwatch clock;
    std::wstring target;
    while (clock.elapsed_ms() < 30000) {
        if (target.empty())
            target = first_target_directory(temp);
        if (!target.empty() && CreateHardLinkW(link.c_str(), (target + large_entry).c_str(), nullptr))
            break;
        Sleep(1);
    }
    while (clock.elapsed_ms() < 30000) {
        if (file_size(link) > 0)
            return target;
        Sleep(1);
    }
    return {};
}

// console_driver LAUNCHER ACTIONS TEMP TRIGGER RESULT: starts LAUNCHER in a
// new console with the probe told to do ACTIONS and TEMP as its temporary
// folder, waits for TRIGGER, sends Ctrl-C to the console, waits for the
// launcher and writes key=value lines to RESULT.
//
// TRIGGER "report:KEY" waits for a line KEY=... in the probe's report.
// "inside-entry" waits until the launcher is writing an entry large.bin,
// which takes seconds to write whole; "entry_at_event" and "entry_size"
// are its size at the event and in the end, "folder_gone_ms" when its
// target directory was gone. bench/interrupt_extraction.sh runs this too.
// "parent_ms" is when the launcher had ended; times count from the event.
TARVEK_SCENARIO(console_driver)
{
    const std::wstring &launcher = arguments.at(0), &temp = arguments.at(2), &trigger = arguments.at(3);
    std::wstring report = temp + L"\\report.txt";
    std::wstring link = temp + L"\\entry-link";
    std::string result;
    FreeConsole();
    if (!AllocConsole())
        result += "error=no console\n";
    SetConsoleCtrlHandler(driver_ignores_console_events, TRUE);
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    SetEnvironmentVariableW(L"TARVEK_PROBE_REPORT", report.c_str());
    SetEnvironmentVariableW(L"TARVEK_PROBE_ACTIONS", arguments.at(1).c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION parent = {};
    std::wstring line = L"launcher";
    if (!CreateProcessW(launcher.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &parent)) {
        write_file(arguments.at(4), "error=launcher not started\n");
        return 1;
    }
    const bool inside_entry = trigger == L"inside-entry";
    std::wstring target;
    if (inside_entry)
        target = link_the_entry_once_written_in_part(temp, link);
    if (inside_entry ? target.empty() : !wait_for_report(narrow(trigger.substr(7)), report))
        result += "error=trigger never came\n";
    probe_report before = parse_probe_report(read_file(report));
    // The probe's process and the one that started it (for a probe run as
    // a program, the adapter library's, the launcher's child).
    HANDLE child = nullptr, probe_parent = nullptr;
    if (before.has("pid"))
        child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                            std::stoul(narrow(before.get("pid"))));
    if (before.has("parent-pid"))
        probe_parent = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                   std::stoul(narrow(before.get("parent-pid"))));
    stopwatch clock;
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
        result += "error=event not sent\n";
    if (inside_entry)
        result += "entry_at_event=" + std::to_string(file_size(link)) + "\n";
    double folder_gone_ms = -1;
    while (WaitForSingleObject(parent.hProcess, 1) == WAIT_TIMEOUT && clock.elapsed_ms() < 40000)
        if (folder_gone_ms < 0 && !target.empty() && !exists(target))
            folder_gone_ms = clock.elapsed_ms();
    if (WaitForSingleObject(parent.hProcess, 0) != WAIT_OBJECT_0) {
        result += "error=launcher still running\n";
        TerminateProcess(parent.hProcess, 0xDEAD);
    }
    double parent_ms = clock.elapsed_ms();
    if (folder_gone_ms < 0 && !target.empty() && !exists(target))
        folder_gone_ms = parent_ms;
    if (folder_gone_ms >= 0)
        result += "folder_gone_ms=" + std::to_string(static_cast<long>(folder_gone_ms)) + "\n";
    result += "parent_ms=" + std::to_string(static_cast<long>(parent_ms)) + "\n";
    DWORD code = 0;
    GetExitCodeProcess(parent.hProcess, &code);
    result += "parent_exit=" + std::to_string(code) + "\n";
    for (auto [process, key] : {std::pair{child, "child_exit="}, std::pair{probe_parent, "probe_parent_exit="}}) {
        if (process == nullptr)
            continue;
        WaitForSingleObject(process, 10000);
        GetExitCodeProcess(process, &code);
        result += key + std::to_string(code) + "\n";
    }
    std::wstring left = first_target_directory(temp);
    if (!left.empty())
        result += "left=" + narrow(left) + "\n";
    if (inside_entry)
        result += "entry_size=" + std::to_string(file_size(link)) + "\n";
    write_file(arguments.at(4), result);
    return 0;
}

struct event_run {
    std::map<std::string, std::string> values;
    bool has(const std::string &key) const { return values.count(key) != 0; }
    std::string operator[](const std::string &key) const { return has(key) ? values.at(key) : "<absent>"; }
    std::wstring report_text;
};

event_run run_with_console_event(const std::wstring &launcher, const std::wstring &actions,
                                 const std::wstring &trigger, const work_folder &work)
{
    std::wstring result_path = work.path + L"\\result.txt";
    process_result driver = run_scenario("console_driver", {launcher, actions, work.path, trigger, result_path});
    EXPECT_EQ(0u, driver.exit_code) << driver.err;
    event_run run;
    for (const std::string &line : split_lines(read_file(result_path))) {
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            run.values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    EXPECT_FALSE(run.has("error")) << run["error"];
    run.report_text = widen(read_file(work.path + L"\\report.txt"));
    return run;
}

TEST(ConsoleEvents, InterruptWhileTheChildRunsAndEndsWithinTheGracePeriod)
{
    work_folder work(L"interrupt");
    event_run run = run_with_console_event(probe_launcher, L"exit-on-console-event:5;sleep:60000",
                                           L"report:console-events", work);
    EXPECT_EQ("5", run["child_exit"]) << "the child was ended instead of ending itself";
    EXPECT_LT(std::stol(run["parent_ms"]), 4500);
    EXPECT_FALSE(run.has("left")) << run["left"];
}

TEST(ConsoleEvents, InterruptWhileAProgramRunsIsLeftToTheProgram)
{
    // The adapter library's process returns what the program made of the
    // event; ended by the event itself, it would have the system's code
    // for that (0 under Wine) and would end the program with it.
    work_folder work(L"program");
    event_run run = run_with_console_event(run_probe_launcher, L"exit-on-console-event:5;sleep:60000",
                                           L"report:console-events", work);
    EXPECT_EQ("5", run["child_exit"]) << "the program was ended instead of ending itself";
    EXPECT_EQ("5", run["probe_parent_exit"]) << "the launcher's child did not return the program's exit code";
    EXPECT_FALSE(run.has("left")) << run["left"];
}

TEST(ConsoleEvents, InterruptWhileTheChildIgnoresItEndsTheChildAfterTheGracePeriod)
{
    work_folder work(L"ignored");
    event_run run = run_with_console_event(probe_launcher, L"ignore-console-events;sleep:60000",
                                           L"report:console-events", work);
    EXPECT_EQ("0", run["child_exit"]);
    EXPECT_GE(std::stol(run["parent_ms"]), 4900);
    EXPECT_FALSE(run.has("left")) << run["left"];
}

// The writer stops at the next chunk: the entry is never finished, the
// folder goes, no child starts, and the parent ends as the event ends it.
TEST(ConsoleEvents, InterruptDuringALargeEntryStopsItAndRemovesTheFolder)
{
    work_folder work(L"extracting");
    event_run run = run_with_console_event(bin + L"\\large_entry_launcher.exe", L"", L"inside-entry", work);
    ASSERT_TRUE(run.has("entry_size"));
    unsigned long long written = std::stoull(run["entry_size"]);
    printf("the entry had %s bytes at the event and %llu at the end; the parent ended %s ms after the event\n",
           run["entry_at_event"].c_str(), written, run["parent_ms"].c_str());
    EXPECT_LT(written, large_entry_size) << "the entry was written whole after the event";
    EXPECT_EQ(0u, written % 32768) << "the writer stopped inside a chunk";
    EXPECT_FALSE(run.has("left")) << run["left"];
    EXPECT_TRUE(run.report_text.empty()) << "a child started although the event came during extraction";
    // Wine's default handling ends a process with 0, Windows' with
    // STATUS_CONTROL_C_EXIT.
    EXPECT_TRUE(run["parent_exit"] == "0" || run["parent_exit"] == std::to_string(STATUS_CONTROL_C_EXIT))
        << run["parent_exit"];
}

// Runs a launcher around the probe with TEMP at `temp`, to its end.
probe_report run_to_end(const std::wstring &launcher, const std::wstring &actions, const std::wstring &temp)
{
    std::wstring report = temp + L"\\report.txt";
    process_options options;
    options.environment = {{L"TMP", temp}, {L"TEMP", temp}, {L"TARVEK_PROBE_REPORT", report},
                           {L"TARVEK_PROBE_ACTIONS", actions}};
    process_result run = run_process(launcher, L"launcher", options);
    EXPECT_EQ(0u, run.exit_code) << run.err;
    return parse_probe_report(read_file(report));
}

TEST(Disk, TempOf224UnitsAndAnApplicationPathAtTheLimit)
{
    work_folder work(L"long temp");
    std::wstring temp = work.path + L"\\" + std::wstring(224 - work.path.size() - 1, L'x');
    ASSERT_EQ(224u, temp.size());
    ASSERT_TRUE(make_folder(temp));
    size_t longest = longest_build_drive_path();
    probe_report report = run_to_end(probe_launcher, L"long-file:" + std::to_wstring(longest), temp);
    std::wstring library = report.get("library");
    ASSERT_EQ(0u, library.rfind(temp + L"\\onefile_", 0)) << narrow(library);
    size_t longest_name = 0;
    for (const auto &[file, size] : report.files())
        longest_name = std::max(longest_name, file.size());
    EXPECT_GT(library.rfind(L'\\') + 1 + longest_name, 260u) << "no unpacked path passed MAX_PATH";
    EXPECT_EQ(longest, report.get("long-file").size()) << "the probe could not make its long path";
    EXPECT_EQ(L"", first_target_directory(temp));
}

TEST(Disk, PayloadNamesWithADriveComponentStayInsideTheTree)
{
    work_folder work(L"drive names");
    std::wstring canary = L"C:\\tarvek-cleanup-canary-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    ASSERT_TRUE(make_file(canary, "canary"));
    ASSERT_TRUE(make_file(work.path + L"\\beside.txt", "beside"));
    probe_report report = run_to_end(bin + L"\\drive_names_launcher.exe", L"", work.path);
    EXPECT_EQ(1u, report.files().count(L"C:\\inner.txt")) << "the extraction made no folder named C:";
    EXPECT_EQ(L"", first_target_directory(work.path));
    EXPECT_EQ("canary", read_file(canary));
    EXPECT_EQ("beside", read_file(work.path + L"\\beside.txt"));
    EXPECT_TRUE(exists(L"C:\\windows\\system32\\kernel32.dll"));
    DeleteFileW(canary.c_str());
}

} // namespace
