// Whole runs of launchers whose main library is the adapter library, around
// the probe built as an ordinary program: its arguments, exit codes and
// standard streams, where it runs, its end with the launcher's child, what
// is left on disk, and programs that cannot be started; and around jq, a
// third-party program, with its own test suite. Only how these
// launchers are made is particular to the adapter; the runs are those of a
// launcher packed to run a program.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/run_report.hpp"

namespace {

const std::wstring bin = widen(TARVEK_E2E_BIN);
const std::wstring run_probe_launcher = bin + L"\\run_probe_launcher.exe";
// The program's path in its application folder, as tests/CMakeLists.txt
// names it.
const std::wstring probe_program = L"bin dir\\pr\u00F8be \U0001F600.exe";
const std::wstring probe_program_name = L"pr\u00F8be \U0001F600.exe";

std::wstring unpacked_folder_of(const std::wstring &program_image)
{
    if (program_image.size() < probe_program.size() + 1)
        return {};
    return program_image.substr(0, program_image.size() - probe_program.size() - 1);
}

TEST(RunProgram, AwkwardArgumentsArriveExactly)
{
    private_temp temp;
    const std::vector<std::wstring> &awkward = awkward_arguments();
    ASSERT_GE(awkward.size(), 12u);
    std::vector<std::wstring> line = {L"typed-name"};
    line.insert(line.end(), awkward.begin(), awkward.end());
    launcher_run run = run_launcher(run_probe_launcher, line, L"", temp);
    ASSERT_EQ(0u, run.process.exit_code) << run.process.err;
    std::vector<std::wstring> seen = run.report.argv();
    ASSERT_EQ(awkward.size() + 1, seen.size()) << run.report_text;
    EXPECT_EQ(awkward, std::vector<std::wstring>(seen.begin() + 1, seen.end()));
    EXPECT_EQ(run.report.get("image"), seen[0]) << "element 0 is the program's own full path";
    EXPECT_TRUE(temp.entries().empty());
}

TEST(RunProgram, ExitCodesPassThroughAllThirtyTwoBits)
{
    private_temp temp;
    for (const auto &[action, code] : std::vector<std::pair<std::wstring, uint32_t>>{
             {L"exit:0", 0u}, {L"exit:3", 3u}, {L"exit:256", 256u}, {L"exit:-1", 0xFFFFFFFFu},
             {L"crash", 0xC0000005u}}) {
        launcher_run run = run_launcher(run_probe_launcher, {L"probe"}, action, temp);
        EXPECT_EQ(code, run.process.exit_code) << narrow(action) << run.process.err;
        EXPECT_TRUE(run.report.has("image")) << narrow(action) << ": the program did not run";
        EXPECT_TRUE(temp.entries().empty()) << narrow(action) << " left " << narrow(temp.entries()[0]);
    }
}

TEST(RunProgram, StandardStreamsCarryAMegabyteUnchanged)
{
    private_temp temp;
    // Every byte value, line ends of both kinds, NULs and the text-mode end
    // of file (0x1A) among them.
    std::string bytes(1 << 20, '\0');
    uint32_t state = 1;
    for (char &b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<char>(state >> 24);
    }
    bytes.replace(1000, 5, "\r\n\x1a\n\r");
    process_options options;
    options.standard_input = bytes;
    launcher_run run = run_launcher(run_probe_launcher, {L"probe"}, L"echo-bytes", temp, options);
    ASSERT_EQ(0u, run.process.exit_code) << run.process.err;
    EXPECT_EQ(bytes.size(), run.process.out.size());
    EXPECT_TRUE(bytes == run.process.out) << "standard output differs from standard input";
    EXPECT_EQ("", run.process.err);
}

TEST(RunProgram, RunsFromTheUnpackedFolderInTheCallersDirectory)
{
    private_temp temp;
    std::wstring caller_directory = make_temp_directory(L"caller directory \u00E9");
    process_options options;
    options.current_directory = caller_directory;
    launcher_run run = run_launcher(run_probe_launcher, {L"typed"}, L"", temp, options);
    remove_tree(caller_directory);
    ASSERT_EQ(0u, run.process.exit_code) << run.process.err;
    const probe_report &r = run.report;
    std::wstring unpacked = unpacked_folder_of(r.get("image"));
    EXPECT_EQ(0u, unpacked.rfind(temp.path + L"\\onefile_", 0)) << narrow(r.get("image"));
    EXPECT_EQ(unpacked + L"\\" + probe_program, r.get("image"));
    EXPECT_EQ(caller_directory, r.get("cwd"));
    EXPECT_EQ(1u, r.files().count(probe_program_name)) << run.report_text;
    // The environment is the launcher child's, whole.
    EXPECT_EQ(bin, r.get("env.TARVEK_ONEFILE_DIRECTORY"));
    EXPECT_EQ(L"typed", r.get("env.TARVEK_ORIGINAL_ARGV0"));
    EXPECT_FALSE(path_exists(unpacked));
    EXPECT_TRUE(temp.entries().empty());
}

// Whether the process `id` has ended, given up to 20 s to end.
bool has_ended(const std::wstring &id)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, std::stoul(narrow(id)));
    if (process == nullptr)
        return true;
    bool ended = WaitForSingleObject(process, 20000) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

TEST(RunProgram, ProgramEndsWithTheLaunchersChild)
{
    private_temp temp;
    launcher_run run = run_launcher(run_probe_launcher, {L"probe"}, L"end-parent:77", temp);
    EXPECT_EQ(77u, run.process.exit_code) << "the launcher returns its ended child's exit code";
    ASSERT_EQ(L"ending", run.report.get("end-parent")) << run.report_text;
    ASSERT_TRUE(run.report.has("pid"));
    EXPECT_TRUE(has_ended(run.report.get("pid")));
    std::string after = read_file(temp.path + L"\\report.txt");
    EXPECT_EQ(std::string::npos, after.find("end-parent=failed")) << after;
    EXPECT_EQ(std::string::npos, after.find("survived=1")) << "the program outlived the launcher's child";
    EXPECT_TRUE(temp.entries().empty());
}

TEST(RunProgram, ProgramMayStartAProcessOutsideItsJob)
{
    private_temp temp;
    launcher_run run = run_launcher(run_probe_launcher, {L"probe"}, L"spawn-breakaway:cmd.exe /c exit 7", temp);
    EXPECT_EQ(0u, run.process.exit_code) << run.process.err;
    EXPECT_EQ(L"7", run.report.get("spawn.exit")) << "the job refused a process started outside it";
    EXPECT_TRUE(temp.entries().empty());
}

TEST(RunProgram, ConsoleLauncherRunsTheProgramInTheConsoleItWasStartedFrom)
{
    expect_output_in_own_console(bin + L"\\run_probe_console_launcher.exe");
}

TEST(RunProgram, LauncherInACallersJobStillRunsTheProgram)
{
    private_temp temp;
    process_options options;
    options.job_limits = 0;
    launcher_run run = run_launcher(run_probe_launcher, {L"probe", L"in a job"}, L"exit:9", temp, options);
    EXPECT_EQ(9u, run.process.exit_code) << run.process.err;
    EXPECT_EQ(L"in a job", run.report.get("argv.1"));

    EXPECT_TRUE(temp.entries().empty());
}

TEST(RunProgram, ProgramsThatCannotBeStarted)
{
    // A program the payload does not hold, named in UTF-8; a file that is no
    // program.
    for (const auto &[launcher, message] : std::vector<std::pair<std::wstring, std::string>>{
             {L"run_missing_launcher.exe", "Error, couldn't find program 'bin dir\\m\xC3\xAFssing \xF0\x9F\x98\x80.exe'.\r\n"},
             {L"run_not_a_program_launcher.exe", "Error, couldn't start program ([Error "}}) {
        private_temp temp;
        launcher_run run = run_launcher(bin + L"\\" + launcher, {L"launcher"}, L"", temp);
        EXPECT_EQ(2u, run.process.exit_code) << narrow(launcher);
        EXPECT_EQ(0u, run.process.err.rfind(message, 0)) << run.process.err;
        EXPECT_EQ(1u, std::count(run.process.err.begin(), run.process.err.end(), '\n')) << run.process.err;
        EXPECT_EQ("", run.process.out);
        EXPECT_TRUE(temp.entries().empty()) << narrow(launcher);
    }
}

// jq's summary line, "P of T tests passed (M malformed)", or "" when there
// is none.
std::string suite_summary(const std::string &output)
{
    for (const std::string &line : split_lines(output)) {
        unsigned passed = 0, total = 0, malformed = 0;
        if (sscanf(line.c_str(), "%u of %u tests passed (%u malformed)", &passed, &total, &malformed) == 3)
            return std::to_string(passed) + " of " + std::to_string(total) + " tests passed (" +
                   std::to_string(malformed) + " malformed)";
    }
    return {};
}

TEST(RunProgram, JqTestSuiteGivesTheSameCountsUnpackedAndPacked)
{
    // The suite on standard input, the modules it imports from the source.
    // One run after the other: each keeps a processor busy for seconds, and
    // other tests run beside this one.
    private_temp temp;
    const std::wstring source = widen(TARVEK_JQ_SOURCE), jq_bin = widen(TARVEK_JQ_BIN);
    process_options options;
    options.standard_input = read_file(source + L"\\tests\\jq.test");
    ASSERT_FALSE(options.standard_input.empty());
    options.environment = {{L"TMP", temp.path}, {L"TEMP", temp.path}};
    const std::wstring arguments = join_command_line({L"jq", L"-L", source + L"\\tests\\modules", L"--run-tests"});
    process_result unpacked = run_process(jq_bin + L"\\jq_app\\jq.exe", arguments, options);
    process_result packed = run_process(jq_bin + L"\\jq_launcher.exe", arguments, options);
    std::string unpacked_counts = suite_summary(unpacked.out), packed_counts = suite_summary(packed.out);
    printf("jq's test suite unpacked: %s, exit code %u\n", unpacked_counts.c_str(), unpacked.exit_code);
    printf("jq's test suite packed:   %s, exit code %u\n", packed_counts.c_str(), packed.exit_code);
    ASSERT_FALSE(unpacked_counts.empty()) << unpacked.out.substr(0, 2000) << unpacked.err;
    EXPECT_EQ(unpacked_counts, packed_counts) << packed.err;
    EXPECT_EQ(unpacked.exit_code, packed.exit_code);
    EXPECT_TRUE(temp.entries().empty());
}

} // namespace
