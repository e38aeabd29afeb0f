// Whole runs of packed launchers under the probe application: arguments,
// exit codes, environment, standard handles, what is left on disk, errors.
#include <gtest/gtest.h>
#include <windows.h>

#include <aclapi.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/run_report.hpp"
#include "tests/support/scenario.hpp"

namespace {

const std::wstring bin = widen(TARVEK_E2E_BIN);
const std::wstring probe_launcher = bin + L"\\probe_launcher.exe";
const std::wstring probe_app = bin + L"\\probe_app";
const std::wstring console_probe_launcher = bin + L"\\console_probe_launcher.exe";
// Loaded, it leaves a file named after it with ".loaded" appended.
const std::wstring planted_library = bin + L"\\planted.dll";

bool plant(const std::wstring &path)
{
    return CopyFileW(planted_library.c_str(), path.c_str(), FALSE) != 0;
}

bool was_loaded(const std::wstring &path)
{
    return path_exists(path + L".loaded");
}

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

// A process of the launcher's own executable that has not run a single
// instruction: alive, the same image, never anyone's parent.
struct suspended_launcher {
    PROCESS_INFORMATION info = {};
    suspended_launcher()
    {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        std::wstring line = join_command_line({probe_launcher});
        EXPECT_TRUE(CreateProcessW(probe_launcher.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                   nullptr, nullptr, &startup, &info));
    }
    ~suspended_launcher()
    {
        TerminateProcess(info.hProcess, 0);
        WaitForSingleObject(info.hProcess, INFINITE);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
};

// The folder that a child takes its main library from with these tokens,
// made beforehand with the planted library as main.dll.
std::wstring plant_target(const std::wstring &temp, DWORD parent, const std::wstring &time_us,
                          const std::wstring &random)
{
    std::wstring expanded = temp + L"\\onefile_" + std::to_wstring(parent) + L"_" + time_us + L"_" + random;
    wchar_t full[4096];
    GetFullPathNameW(expanded.c_str(), 4096, full, nullptr);
    EXPECT_TRUE(CreateDirectoryW(full, nullptr)) << narrow(full);
    EXPECT_TRUE(plant(std::wstring(full) + L"\\main.dll"));
    return full;
}

// Names itself as the parent, lets no process open it, makes the folder its
// tokens name with a library in it and starts the launcher (argument 0)
// with that environment. Prints the launcher's exit code and the folder.
TARVEK_SCENARIO(start_naming_itself)
{
    alignas(8) unsigned char buffer[64];
    ACL *nobody = reinterpret_cast<ACL *>(buffer);
    InitializeAcl(nobody, sizeof buffer, ACL_REVISION);
    if (SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT,
                        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, nobody,
                        nullptr) != ERROR_SUCCESS)
        return 3;
    SetEnvironmentVariableW(L"TARVEK_ONEFILE_PARENT", std::to_wstring(GetCurrentProcessId()).c_str());
    SetEnvironmentVariableW(L"TARVEK_ONEFILE_TIME_US", L"123456");
    SetEnvironmentVariableW(L"TARVEK_ONEFILE_RANDOM", L"AbCdEfGhIjK");
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder = plant_target(std::wstring(temp, wcslen(temp) - 1), GetCurrentProcessId(), L"123456",
                                       L"AbCdEfGhIjK");
    process_result r = run_process(arguments.at(0), join_command_line({arguments.at(0)}));
    printf("%lu\n%ls", static_cast<unsigned long>(r.exit_code), folder.c_str());
    return 0;
}

void expect_a_parent_of_its_own(const launcher_run &run, const std::wstring &planted_folder)
{
    EXPECT_EQ(0u, run.process.exit_code) << run.process.out << run.process.err;
    EXPECT_EQ(std::to_wstring(run.process.process_id), run.report.get("env.TARVEK_ONEFILE_PARENT"));
    EXPECT_NE(planted_folder, directory_of(run.report.get("library")));
    EXPECT_FALSE(was_loaded(planted_folder + L"\\main.dll")) << "the planted library was loaded";
}

// What a caller may put into a launcher's environment: tokens that lead
// out of the temporary folder, or well-formed ones with a folder made for
// them beforehand, naming a live copy of the launcher; or a process that
// names itself and lets nobody read it. None of them is the child's parent.
TEST(Roles, SpoofedEnvironmentsGiveTheParentRoleAndLoadNothingPlanted)
{
    private_temp temp;
    suspended_launcher copy;
    DWORD named = copy.info.dwProcessId;
    for (const auto &[time_us, random] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"x", L"\\..\\chosen"}, {L"123456", L"AbCdEfGhIjK"}}) {
        std::wstring planted_folder = plant_target(temp.path, named, time_us, random);
        process_options options;
        options.environment = {{L"TARVEK_ONEFILE_PARENT", std::to_wstring(named)},
                               {L"TARVEK_ONEFILE_TIME_US", time_us},
                               {L"TARVEK_ONEFILE_RANDOM", random}};
        launcher_run run = run_launcher(probe_launcher, {L"probe"}, L"", temp, options);
        expect_a_parent_of_its_own(run, planted_folder);
    }

    process_options options;
    options.environment = {{L"TMP", temp.path}, {L"TEMP", temp.path},
                           {L"TARVEK_PROBE_REPORT", temp.path + L"\\report.txt"}};
    process_result r = run_scenario("start_naming_itself", {probe_launcher}, options);
    ASSERT_EQ(0u, r.exit_code) << r.err;
    std::vector<std::string> lines = split_lines(r.out);
    ASSERT_EQ(2u, lines.size()) << r.out;
    std::wstring planted_folder = widen(lines[1]);
    EXPECT_EQ("0\r", lines[0]) << "the launcher's exit code";
    EXPECT_FALSE(was_loaded(planted_folder + L"\\main.dll")) << "the planted library was loaded";
    probe_report report = parse_probe_report(read_file(temp.path + L"\\report.txt"));
    EXPECT_NE(planted_folder, directory_of(report.get("library")));
}

// The application loads a library by its bare name: the one packed beside
// it, never one beside the launcher (a Downloads folder), and the launcher's
// own start takes nothing from there either (Wine's shell32 loaded
// shcore.dll from beside the executable).
TEST(LibrarySearch, BareNamesFindThePackedLibraryAndNothingBesideTheLauncher)
{
    private_temp temp;
    std::wstring copy = copy_launcher(temp, L"Downloads", L"probe.exe");
    std::wstring beside = directory_of(copy);
    for (const wchar_t *name : {L"helper.dll", L"shcore.dll"})
        ASSERT_TRUE(plant(beside + L"\\" + name));
    launcher_run run = run_launcher(copy, {copy}, L"load:helper.dll", temp);
    ASSERT_EQ(0u, run.process.exit_code) << run.process.err;
    EXPECT_EQ(directory_of(run.report.get("library")) + L"\\helper.dll", run.report.get("load.helper.dll"));
    for (const wchar_t *name : {L"helper.dll", L"shcore.dll"})
        EXPECT_FALSE(was_loaded(beside + L"\\" + name)) << narrow(name) << " beside the launcher was loaded";
    EXPECT_EQ(std::vector<std::wstring>{L"Downloads"}, temp.entries());
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

// The target directory's descriptor as the application reads it back. Every
// entry grants only the owner (OWNER RIGHTS or the owner's own SID), SYSTEM
// and Administrators. Where the system keeps a descriptor as it was given
// (Windows), it is exactly the protected one the parent gave; Wine keeps
// Unix permission bits instead and shows the owner and SYSTEM, nothing for
// others.
TEST(Disk, TargetDirectoryIsTheOwnersSystemsAndAdministratorsAlone)
{
    private_temp temp;
    launcher_run run = run_launcher(probe_launcher, {L"probe"}, L"security", temp);
    ASSERT_EQ(0u, run.process.exit_code) << run.process.err;
    std::string sddl = narrow(run.report.get("security"));
    size_t owner_at = sddl.find("O:"), dacl_at = sddl.find("D:");
    ASSERT_TRUE(owner_at == 0 && dacl_at != std::string::npos) << sddl;
    std::string owner = sddl.substr(2, dacl_at - 2), dacl = sddl.substr(dacl_at + 2);
    size_t first = dacl.find('(');
    ASSERT_NE(std::string::npos, first) << sddl;
    for (size_t at = first; at < dacl.size() && dacl[at] == '(';) {
        size_t end = dacl.find(')', at);
        ASSERT_NE(std::string::npos, end) << sddl;
        std::string ace = dacl.substr(at + 1, end - at - 1);
        std::string sid = ace.substr(ace.rfind(';') + 1);
        EXPECT_EQ(0u, ace.rfind("A;", 0)) << ace;
        EXPECT_TRUE(sid == "OW" || sid == "SY" || sid == "BA" || sid == owner) << "grants " << ace << " in " << sddl;
        at = end + 1;
    }
    if (dacl.substr(0, first).find('P') != std::string::npos)
        EXPECT_EQ("P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", dacl);
}

// The parent holds the main library from its writing until the clean-up:
// the application, a process like any other, can neither write it, nor
// rename it away, nor delete it.
TEST(Disk, MainLibraryCannotBeReplacedWhileTheChildRuns)
{
    private_temp temp;
    launcher_run run = run_launcher(probe_launcher, {L"probe"}, L"replace-library", temp);
    ASSERT_EQ(0u, run.process.exit_code) << run.process.err;
    EXPECT_EQ(L"write:refused,rename:refused,delete:refused", run.report.get("replace-library"));
    EXPECT_TRUE(temp.entries().empty()) << "the clean-up let go of it";
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
