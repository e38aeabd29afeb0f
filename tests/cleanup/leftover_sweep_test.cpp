// The sweep of folders that ended runs left in the temporary folder: which
// names and entries it takes, what keeps a folder, how much one run does;
// and whole runs: a parent ended from outside ends its child, and the next
// run takes the folder it left while another run's folder stays whole.
#include <gtest/gtest.h>
#include <windows.h>

#include <tlhelp32.h>

#include <map>
#include <string>
#include <vector>

#include "launcher/leftover_sweep.hpp"
#include "tests/cleanup/cleanup_test_support.hpp"
#include "tests/e2e/run_report.hpp"
#include "tests/support/scenario.hpp"

namespace {

const std::wstring probe_launcher = widen(TARVEK_E2E_BIN) + L"\\probe_launcher.exe";

TEST(LeftoverSweep, NamesThatAreExactlyThoseOfATargetDirectory)
{
    const std::pair<const wchar_t *, DWORD> taken[] = {
        {L"onefile_1_000000_AAAAAAAAAAA", 1},
        {L"onefile_4294967295_999999_09azAZ-_-_x", 4294967295u},
        {L"onefile_1234_012345_-_-_-_-_-_-", 1234},
    };
    for (const auto &[name, id] : taken) {
        DWORD parsed = 0;
        EXPECT_TRUE(parse_run_folder_name(name, parsed)) << narrow(name);
        EXPECT_EQ(id, parsed) << narrow(name);
    }
    const wchar_t *refused[] = {
        L"onefile_",
        L"Onefile_1_000000_AAAAAAAAAAA",   // letter case
        L"onefile__000000_AAAAAAAAAAA",    // no id
        L"onefile_01_000000_AAAAAAAAAAA",  // a leading zero
        L"onefile_0_000000_AAAAAAAAAAA",
        L"onefile_4294967296_000000_AAAAAAAAAAA", // more than 32 bits
        L"onefile_12345678901_000000_AAAAAAAAAAA",
        L"onefile_-1_000000_AAAAAAAAAAA",
        L"onefile_1_00000_AAAAAAAAAAA",    // five digits
        L"onefile_1_0000000_AAAAAAAAAAA",  // seven
        L"onefile_1_00000a_AAAAAAAAAAA",
        L"onefile_1_000000_AAAAAAAAAA",    // ten characters
        L"onefile_1_000000_AAAAAAAAAAAA",  // twelve
        L"onefile_1_000000_AAAAAAAAAA+",   // base64, not base64url
        L"onefile_1_000000_AAAAAAAAAA.",
        L"onefile_1_000000_AAAAAAAAAAA.old",
        L"onefile_1_000000_AAAAAAAAAAA ",
        L"onefile_1_000000-AAAAAAAAAAA",
        L"xonefile_1_000000_AAAAAAAAAAA",
    };
    for (const wchar_t *name : refused) {
        DWORD parsed = 0;
        EXPECT_FALSE(parse_run_folder_name(name, parsed)) << narrow(name);
    }
}

// A process of this program that has ended, its handle kept open so that
// its id names it, ended, until the object goes.
struct ended_process {
    PROCESS_INFORMATION info = {};
    ended_process()
    {
        started_process process = start_scenario("exit_at_once", {});
        EXPECT_TRUE(process.started);
        info = process.info;
        WaitForSingleObject(info.hProcess, 30000);
    }
    ~ended_process()
    {
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    std::wstring id() const { return std::to_wstring(info.dwProcessId); }
};

TARVEK_SCENARIO(exit_at_once)
{
    return 0;
}

// A folder named for process `id`, with a main library and a file below.
std::wstring make_run_folder(const std::wstring &temp, const std::wstring &id, const wchar_t *random,
                             bool with_library = true)
{
    std::wstring folder = temp + L"\\onefile_" + id + L"_123456_" + random;
    EXPECT_TRUE(make_file(folder + L"\\data\\file.txt", "data"));
    if (with_library)
        EXPECT_TRUE(make_file(folder + L"\\main.dll", "library"));
    return folder;
}

TEST(LeftoverSweep, TakesOnlyFoldersOfEndedRunsThatNothingHolds)
{
    work_folder work(L"sweep");
    ended_process ended;
    const std::wstring live = std::to_wstring(GetCurrentProcessId());
    std::vector<std::wstring> taken = {
        make_run_folder(work.path, ended.id(), L"AAAAAAAAAAA"),
        make_run_folder(work.path, ended.id(), L"BBBBBBBBBBB", false), // a parent ended before main.dll
    };
    std::vector<std::wstring> kept = {
        make_run_folder(work.path, live, L"CCCCCCCCCCC"),           // a live run
        make_run_folder(work.path, live, L"DDDDDDDDDDD", false),    // a live run before main.dll
        make_run_folder(work.path, ended.id(), L"EEEEEEEEEEE"),     // main.dll held, as by a child
        make_run_folder(work.path, ended.id(), L"FFFFFFFFFFF", false), // main.dll a folder
        make_run_folder(work.path, ended.id(), L"GGGGGGGGGGG"),     // this run's own
        work.path + L"\\onefile_" + ended.id() + L"_12345_HHHHHHHHHHH",
        work.path + L"\\onefile_" + ended.id() + L"_123456_IIIIIIIIIII.old",
        work.path + L"\\onefile_" + ended.id() + L"_123456_JJJJJJJJJJJ", // a file
    };
    ASSERT_TRUE(make_folder(kept[3] + L"\\main.dll"));
    ASSERT_TRUE(make_file(kept[5] + L"\\main.dll"));
    ASSERT_TRUE(make_file(kept[6] + L"\\main.dll"));
    ASSERT_TRUE(make_file(kept[7], "a file of that name"));
    HANDLE held = CreateFileW((kept[2] + L"\\main.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    std::wstring own = kept[4].substr(work.path.size() + 1);
    EXPECT_EQ(2, sweep_leftover_folders(work.path.c_str(), own.c_str()));
    for (const std::wstring &folder : taken)
        EXPECT_FALSE(exists(folder)) << narrow(folder);
    for (const std::wstring &folder : kept)
        EXPECT_TRUE(exists(folder)) << narrow(folder);
    EXPECT_EQ("data", read_file(kept[2] + L"\\data\\file.txt")) << "a held folder is not entered";
    CloseHandle(held);
}

TEST(LeftoverSweep, OneRunTakesAFewFoldersTheNextTheRest)
{
    work_folder work(L"bounded");
    ended_process ended;
    const wchar_t *randoms[] = {L"AAAAAAAAAAA", L"BBBBBBBBBBB", L"CCCCCCCCCCC",
                                L"DDDDDDDDDDD", L"EEEEEEEEEEE", L"FFFFFFFFFFF"};
    for (const wchar_t *random : randoms)
        make_run_folder(work.path, ended.id(), random);
    EXPECT_EQ(sweep_folders_removed, sweep_leftover_folders(work.path.c_str(), L""));
    EXPECT_EQ(6 - sweep_folders_removed, sweep_leftover_folders(work.path.c_str(), L""));
    EXPECT_EQ(0, sweep_leftover_folders(work.path.c_str(), L""));
}

// A launcher around the probe, started and left running, TEMP at `temp`,
// the probe told to do `actions` and to report to `report`.
struct running_launcher {
    PROCESS_INFORMATION info = {};
    std::wstring report;
    running_launcher(const std::wstring &temp, const std::wstring &name, const std::wstring &actions)
        : report(temp + L"\\" + name + L".report")
    {
        std::wstring block = environment_block({{L"TMP", temp}, {L"TEMP", temp}, {L"TARVEK_PROBE_REPORT", report},
                                                {L"TARVEK_PROBE_ACTIONS", actions}});
        std::wstring line = L"launcher";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        EXPECT_TRUE(CreateProcessW(probe_launcher.c_str(), line.data(), nullptr, nullptr, FALSE,
                                   CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &startup, &info));
    }
    ~running_launcher()
    {
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    // What the probe reported once it has reported its process id (the
    // application runs); an empty report after 30 s.
    probe_report wait_for_the_application() const
    {
        stopwatch clock;
        while (clock.elapsed_ms() < 30000) {
            probe_report reported = parse_probe_report(read_file(report));
            if (reported.has("pid"))
                return reported;
            Sleep(10);
        }
        return {};
    }
};

// The folder holding the probe's main library.
std::wstring unpacked_folder(const probe_report &report)
{
    std::wstring library = report.get("library");
    return library.substr(0, library.rfind(L'\\'));
}

// Ends a process that the test did not start, by its id; true once it has
// ended.
bool end_process(const std::wstring &id, UINT code)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(narrow(id)));
    if (process == nullptr)
        return false;
    TerminateProcess(process, code);
    bool ended = WaitForSingleObject(process, 30000) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

// A parent ended from outside, as taskkill /F ends it: its child ends with
// it, through the job; its folder stays, since an ended process cleans
// nothing up, and the next run in the same temporary folder takes it. A run
// still going keeps its folder, every file whole, through that sweep.
TEST(LeftoverSweep, KilledParentEndsItsChildAndTheNextRunTakesItsFolderNotALiveOne)
{
    work_folder work(L"killed");
    running_launcher live(work.path, L"live", L"sleep:60000");
    probe_report live_report = live.wait_for_the_application();
    ASSERT_TRUE(live_report.has("pid")) << "the live run's application never started";
    const std::wstring live_folder = unpacked_folder(live_report);
    const std::map<std::wstring, unsigned long long> live_files = file_sizes_in_tree(live_folder);
    ASSERT_FALSE(live_files.empty());

    running_launcher killed(work.path, L"killed", L"sleep:60000");
    probe_report killed_report = killed.wait_for_the_application();
    ASSERT_TRUE(killed_report.has("pid")) << "the killed run's application never started";
    HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, std::stoul(narrow(killed_report.get("pid"))));
    ASSERT_NE(nullptr, child);
    ASSERT_TRUE(TerminateProcess(killed.info.hProcess, 1));
    stopwatch clock;
    bool child_ended = WaitForSingleObject(child, 10000) == WAIT_OBJECT_0;
    if (child_ended)
        printf("the child ended %.0f ms after its parent was ended\n", clock.elapsed_ms());
    else
        TerminateProcess(child, 1);
    CloseHandle(child);
    EXPECT_TRUE(child_ended) << "the child outlived its parent by 10 s";
    const std::wstring killed_folder = unpacked_folder(killed_report);
    ASSERT_TRUE(exists(killed_folder)) << "an ended parent cleaned up";

    running_launcher next(work.path, L"next", L"sleep:60000");
    probe_report next_report = next.wait_for_the_application();
    ASSERT_TRUE(next_report.has("pid")) << "the next run's application never started";
    clock = stopwatch();
    while (exists(killed_folder) && clock.elapsed_ms() < 30000)
        Sleep(20);
    EXPECT_FALSE(exists(killed_folder)) << "the next run left the killed run's folder";
    EXPECT_TRUE(live_files == file_sizes_in_tree(live_folder)) << "the live run's folder changed";
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(live.info.hProcess, 0)) << "the live run ended";

    // Both applications end (exit code 7); their parents clean up.
    for (running_launcher *run : {&live, &next}) {
        ASSERT_TRUE(end_process(parse_probe_report(read_file(run->report)).get("pid"), 7));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(run->info.hProcess, 30000));
        DWORD code = 0;
        GetExitCodeProcess(run->info.hProcess, &code);
        EXPECT_EQ(7u, code);
    }
    for (const std::wstring &file : files_in_tree(work.path))
        EXPECT_EQ(std::wstring::npos, file.find(L"onefile_")) << narrow(file);
}

} // namespace
