// Whole runs of packed launchers under the probe application: arguments,
// exit codes, environment, standard handles, what is left on disk, errors.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/run_report.hpp"

namespace {

const std::wstring bin = widen(TARVEK_E2E_BIN);
const std::wstring probe_launcher = bin + L"\\probe_launcher.exe";
const std::wstring probe_app = bin + L"\\probe_app";
const std::wstring console_probe_launcher = bin + L"\\console_probe_launcher.exe";

std::wstring directory_of(const std::wstring &path)
{
    return path.substr(0, path.rfind(L'\\'));
}

// A copy of the probe launcher as FOLDER\FILE below `temp`.
std::wstring copy_launcher(const private_temp &temp, const std::wstring &folder, const std::wstring &file)
{
    std::wstring place = temp.path + L"\\" + folder;
    EXPECT_TRUE(CreateDirectoryW(place.c_str(), nullptr));
    std::wstring copy = place + L"\\" + file;
    EXPECT_TRUE(CopyFileW(probe_launcher.c_str(), copy.c_str(), FALSE));
    return copy;
}

std::vector<std::wstring> tail(const std::vector<std::wstring> &v)
{
    return std::vector<std::wstring>(v.begin() + (v.empty() ? 0 : 1), v.end());
}

TEST(Arguments, HardArgumentsArriveUnchanged)
{
    private_temp temp;
    const std::vector<std::wstring> &hard = awkward_arguments();
    std::vector<std::wstring> line = {L"typed-name"};
    line.insert(line.end(), hard.begin(), hard.end());
    launcher_run run = run_launcher(probe_launcher, line, L"", temp);
    ASSERT_EQ(0u, run.process.exit_code) << run.process.err;
    std::vector<std::wstring> seen = run.report.argv();
    ASSERT_EQ(hard.size() + 1, seen.size()) << run.report_text;
    EXPECT_EQ(hard, tail(seen));
}

TEST(Arguments, ElementZeroIsTheLaunchersImagePath)
{
    private_temp temp;
    launcher_run run = run_launcher(probe_launcher, {L"C:\\what the user\\typed.exe", L"x"}, L"", temp);
    ASSERT_EQ(0u, run.process.exit_code) << run.process.err;
    std::vector<std::wstring> seen = run.report.argv();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(probe_launcher, seen[0]);
    EXPECT_EQ(L"C:\\what the user\\typed.exe", run.report.get("env.TARVEK_ORIGINAL_ARGV0"));
}

TEST(Arguments, NoArgumentsAtAll)
{
    private_temp temp;
    launcher_run run = run_launcher(probe_launcher, {L"probe"}, L"", temp);
    ASSERT_EQ(0u, run.process.exit_code);
    EXPECT_EQ(std::vector<std::wstring>{probe_launcher}, run.report.argv());
}

TEST(ExitCodes, PassThroughAllThirtyTwoBits)
{
    private_temp temp;
    for (const auto &[action, code] : std::vector<std::pair<std::wstring, uint32_t>>{
             {L"exit:0", 0u}, {L"exit:3", 3u}, {L"exit:7", 7u}, {L"exit:256", 256u},
             {L"exit:-1", 0xFFFFFFFFu}, {L"exit:0xC0000005", 0xC0000005u}}) {
        launcher_run run = run_launcher(probe_launcher, {L"probe"}, action, temp);
        EXPECT_EQ(code, run.process.exit_code) << narrow(action);
        EXPECT_TRUE(temp.entries().empty()) << narrow(action) << " left " << narrow(temp.entries()[0]);
    }
}

TEST(ExitCodes, CrashingApplicationStillGetsItsDirectoryRemoved)
{
    private_temp temp;
    launcher_run run = run_launcher(probe_launcher, {L"probe"}, L"crash", temp);
    EXPECT_EQ(0xC0000005u, run.process.exit_code);
    ASSERT_TRUE(run.report.has("library"));
    EXPECT_FALSE(path_exists(directory_of(run.report.get("library"))));
    EXPECT_TRUE(temp.entries().empty());
}

TEST(Environment, VariablesTheChildSees)
{
    private_temp temp;
    launcher_run run = run_launcher(probe_launcher, {L"typed"}, L"", temp);
    ASSERT_EQ(0u, run.process.exit_code);
    const probe_report &r = run.report;
    EXPECT_EQ(std::to_wstring(run.process.process_id), r.get("env.TARVEK_ONEFILE_PARENT"));
    EXPECT_NE(std::to_wstring(run.process.process_id), r.get("pid")) << "the probe runs in the child";
    std::wstring time_us = r.get("env.TARVEK_ONEFILE_TIME_US");
    EXPECT_EQ(6u, time_us.size());
    EXPECT_EQ(std::wstring::npos, time_us.find_first_not_of(L"0123456789"));
    std::wstring random = r.get("env.TARVEK_ONEFILE_RANDOM");
    EXPECT_EQ(11u, random.size());
    EXPECT_FALSE(r.has("env.TARVEK_ONEFILE_START"));
    EXPECT_EQ(bin, r.get("env.TARVEK_ONEFILE_DIRECTORY"));
    EXPECT_EQ(L"typed", r.get("env.TARVEK_ORIGINAL_ARGV0"));
    std::wstring expected_directory = temp.path + L"\\onefile_" + std::to_wstring(run.process.process_id) +
                                      L"_" + time_us + L"_" + random;
    EXPECT_EQ(expected_directory + L"\\main.dll", r.get("library"));
}

// A process id that named a process which has ended.
DWORD ended_process_id()
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::wstring line = L"cmd.exe /c exit 0";
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return 0;
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return info.dwProcessId;
}

TEST(Environment, StaleOrForeignParentGivesANewParentAndDirectory)
{
    private_temp temp;
    DWORD ended = ended_process_id();
    ASSERT_NE(0u, ended);
    for (const std::wstring &parent :
         {std::wstring(L"garbage"), std::wstring(L"12x"), std::wstring(L"99999999999"), std::to_wstring(ended),
          std::to_wstring(GetCurrentProcessId()) /* another executable, alive */}) {
        process_options options;
        options.environment = {{L"TARVEK_ONEFILE_PARENT", parent},
                               {L"TARVEK_ONEFILE_TIME_US", std::wstring(L"111111")},
                               {L"TARVEK_ONEFILE_RANDOM", std::wstring(L"staleRANDOM")},
                               {L"TARVEK_ONEFILE_START", std::wstring(L"123")}};
        launcher_run run = run_launcher(probe_launcher, {L"probe"}, L"", temp, options);
        ASSERT_EQ(0u, run.process.exit_code) << narrow(parent) << run.process.err;
        const probe_report &r = run.report;
        EXPECT_EQ(std::to_wstring(run.process.process_id), r.get("env.TARVEK_ONEFILE_PARENT")) << narrow(parent);
        EXPECT_NE(L"staleRANDOM", r.get("env.TARVEK_ONEFILE_RANDOM"));
        EXPECT_FALSE(r.has("env.TARVEK_ONEFILE_START"));
        EXPECT_EQ(std::wstring::npos, r.get("library").find(L"staleRANDOM"));
        EXPECT_TRUE(temp.entries().empty());
    }
}

TEST(Roles, LauncherStartedByTheApplicationIsAChildAndUnpacksNothing)
{
    private_temp temp;
    launcher_run run = run_launcher(probe_launcher, {L"probe", L"again"}, L"delete:data\\readme.txt;relaunch", temp);
    ASSERT_EQ(0u, run.process.exit_code) << run.process.err;
    EXPECT_EQ(L"0", run.report.get("relaunch.exit"));
    probe_report again = parse_probe_report(read_file(temp.path + L"\\report.txt.relaunch"));
    ASSERT_TRUE(again.has("library")) << "the relaunched launcher ran no probe";
    EXPECT_EQ(run.report.get("library"), again.get("library"));
    EXPECT_EQ(run.report.get("env.TARVEK_ONEFILE_PARENT"), again.get("env.TARVEK_ONEFILE_PARENT"));
    EXPECT_NE(run.report.get("pid"), again.get("pid"));
    EXPECT_EQ(0u, again.files().count(L"data\\readme.txt")) << "the deleted file was unpacked again";
    EXPECT_EQ(1u, again.files().count(L"main.dll"));
    EXPECT_TRUE(temp.entries().empty());
}

// Runs the probe launcher at `first`, which deletes one unpacked file and
// starts the launcher again through `again`; returns both reports.
std::pair<launcher_run, probe_report> relaunch_through(const std::wstring &first, const std::wstring &again,
                                                       const private_temp &temp)
{
    launcher_run run = run_launcher(first, {first}, L"delete:data\\readme.txt;relaunch-as:" + again, temp);
    EXPECT_EQ(0u, run.process.exit_code) << run.process.err;
    EXPECT_EQ(L"0", run.report.get("relaunch.exit"));
    return {run, parse_probe_report(read_file(temp.path + L"\\report.txt.relaunch"))};
}

void expect_child_of(const launcher_run &run, const probe_report &again)
{
    ASSERT_TRUE(again.has("library")) << "the relaunched launcher ran no probe";
    EXPECT_EQ(run.report.get("library"), again.get("library"));
    EXPECT_EQ(run.report.get("env.TARVEK_ONEFILE_PARENT"), again.get("env.TARVEK_ONEFILE_PARENT"));
    EXPECT_EQ(0u, again.files().count(L"data\\readme.txt")) << "unpacked again";
}

TEST(Roles, ShortSpellingOfTheLauncherPathStillGivesTheChildRole)
{
    private_temp temp;
    std::wstring copy = copy_launcher(temp, L"Long Directory Name", L"probe launcher copy.exe");
    wchar_t short_path[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameW(copy.c_str(), short_path, MAX_PATH));
    ASSERT_NE(copy, short_path) << "the platform gives no 8.3 names here";
    auto [run, again] = relaunch_through(copy, short_path, temp);
    expect_child_of(run, again);
    EXPECT_EQ(std::vector<std::wstring>{L"Long Directory Name"}, temp.entries());
}

TEST(Roles, LinkSpellingOfTheLauncherPathStillGivesTheChildRole)
{
    private_temp temp;
    std::wstring link = bin + L"_link\\probe_launcher.exe";
    ASSERT_TRUE(path_exists(link)) << "the build makes this link";
    auto [run, again] = relaunch_through(probe_launcher, link, temp);
    expect_child_of(run, again);
    EXPECT_TRUE(temp.entries().empty());
}

TEST(Roles, CopyOfTheLauncherIsAnotherExecutableAndAParent)
{
    private_temp temp;
    std::wstring copy = temp.path + L"\\copy.exe";
    ASSERT_TRUE(CopyFileW(probe_launcher.c_str(), copy.c_str(), FALSE));
    auto [run, again] = relaunch_through(probe_launcher, copy, temp);
    ASSERT_TRUE(again.has("library"));
    EXPECT_NE(run.report.get("library"), again.get("library"));
    EXPECT_NE(run.report.get("env.TARVEK_ONEFILE_PARENT"), again.get("env.TARVEK_ONEFILE_PARENT"));
    EXPECT_EQ(1u, again.files().count(L"data\\readme.txt")) << "a parent unpacks everything";
    EXPECT_EQ(std::vector<std::wstring>{L"copy.exe"}, temp.entries());
}

TEST(StandardHandles, OutputErrorAndInputPassThrough)
{
    // A windowed launcher and a console one alike.
    for (const std::wstring &launcher : {probe_launcher, console_probe_launcher}) {
        private_temp temp;
        process_options options;
        options.standard_input = "from the driver\r\nsecond line\r\n";
        launcher_run run = run_launcher(launcher, {L"probe"}, L"out:to stdout;err:to stderr;echo-stdin", temp,
                                        options);
        ASSERT_EQ(0u, run.process.exit_code) << narrow(launcher);
        EXPECT_EQ("to stdout\r\nfrom the driver\r\nsecond line\r\n", run.process.out) << narrow(launcher);
        EXPECT_EQ("to stderr\r\n", run.process.err) << narrow(launcher);
    }
}

TEST(StandardHandles, ConsoleLauncherPrintsToTheConsoleItWasStartedFrom)
{
    expect_output_in_own_console(console_probe_launcher);
}

TEST(Disk, TargetDirectoryHoldsEveryFileDuringTheRunAndIsGoneAfter)
{
    private_temp temp;
    launcher_run run = run_launcher(probe_launcher, {L"probe"}, L"", temp);
    ASSERT_EQ(0u, run.process.exit_code);
    std::map<std::wstring, unsigned long long> expected = file_sizes_in_tree(probe_app);
    ASSERT_GE(expected.size(), 3u);
    EXPECT_EQ(expected, run.report.files());
    std::wstring directory = directory_of(run.report.get("library"));
    EXPECT_EQ(0u, directory.rfind(temp.path + L"\\onefile_", 0)) << narrow(directory);
    EXPECT_FALSE(path_exists(directory));
    EXPECT_TRUE(temp.entries().empty());
}

TEST(Disk, LauncherInADirectoryWithSpacesAndNonAsciiCharacters)
{
    private_temp temp;
    std::wstring copy = copy_launcher(temp, L"dir with spaces \u00FC\u00F1 \u4E2D", L"my launcher.exe");
    std::wstring place = directory_of(copy);
    launcher_run run = run_launcher(copy, {copy, L"arg"}, L"exit:5", temp);
    EXPECT_EQ(5u, run.process.exit_code) << run.process.err;
    EXPECT_EQ(copy, run.report.get("argv.0"));
    EXPECT_EQ(place, run.report.get("env.TARVEK_ONEFILE_DIRECTORY"));
    std::vector<std::wstring> left = temp.entries();
    EXPECT_EQ(std::vector<std::wstring>{L"dir with spaces \u00FC\u00F1 \u4E2D"}, left);
}

// The section header of `name` in a PE image, or null.
const IMAGE_SECTION_HEADER *find_section(const std::string &image, const char *name)
{
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(image.data());
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64 *>(image.data() + dos->e_lfanew);
    const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
        if (strncmp(reinterpret_cast<const char *>(section->Name), name, IMAGE_SIZEOF_SHORT_NAME) == 0)
            return section;
    return nullptr;
}

TEST(Image, StoredPayloadIsTheFirstThingInReadOnlyData)
{
    std::string image = read_file(probe_launcher);
    std::string stored = read_file(bin + L"\\probe.stored");
    ASSERT_GT(stored.size(), 16u);
    ASSERT_EQ(0u, stored.size() % 8);
    const IMAGE_SECTION_HEADER *rdata = find_section(image, ".rdata");
    ASSERT_NE(nullptr, rdata);
    EXPECT_EQ(0u, rdata->VirtualAddress % 4096);
    EXPECT_EQ(0u, rdata->PointerToRawData % 512);
    ASSERT_GE(image.size(), rdata->PointerToRawData + stored.size());
    EXPECT_TRUE(image.compare(rdata->PointerToRawData, stored.size(), stored) == 0);
}

TEST(Errors, MainLibraryThatCannotBeLoaded)
{
    private_temp temp;
    launcher_run run = run_launcher(bin + L"\\bad_library_launcher.exe", {L"bad"}, L"", temp);
    EXPECT_EQ(2u, run.process.exit_code);
    EXPECT_EQ(0u, run.process.err.rfind("Error, load DLL. ([Error ", 0)) << run.process.err;
    EXPECT_EQ(")\r\n", run.process.err.substr(run.process.err.size() - 3));
    EXPECT_TRUE(temp.entries().empty()) << "the parent cleans up after a failed child";
}

TEST(Errors, MainLibraryWithoutRunCode)
{
    private_temp temp;
    launcher_run run = run_launcher(bin + L"\\no_entry_launcher.exe", {L"none"}, L"", temp);
    EXPECT_EQ(2u, run.process.exit_code);
    EXPECT_EQ("Error, DLL entry point not found.\r\n", run.process.out);
    EXPECT_EQ("", run.process.err);
    EXPECT_TRUE(temp.entries().empty());
}

TEST(Errors, PayloadWithoutEntriesStartsNoFurtherChild)
{
    private_temp temp;
    launcher_run run = run_launcher(bin + L"\\empty_payload_launcher.exe", {L"empty"}, L"", temp);
    EXPECT_EQ(2u, run.process.exit_code);
    EXPECT_EQ(0u, run.process.err.rfind("Error, load DLL. ([Error 2] ", 0)) << run.process.err;
    EXPECT_EQ(1u, std::count(run.process.err.begin(), run.process.err.end(), '\n')) << run.process.err;
    EXPECT_TRUE(temp.entries().empty());
}

} // namespace
