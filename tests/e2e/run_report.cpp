#include "tests/e2e/run_report.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/scenario.hpp"

static std::wstring unescape(const std::string &text)
{
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 4 < text.size()) {
            out += static_cast<wchar_t>(std::stoul(text.substr(i + 1, 4), nullptr, 16));
            i += 4;
        } else {
            out += static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
        }
    }
    return out;
}

std::wstring probe_report::get(const std::string &key) const
{
    auto found = values.find(key);
    return found == values.end() ? L"<absent>" : found->second;
}

std::vector<std::wstring> probe_report::argv() const
{
    std::vector<std::wstring> out;
    int argc = has("argc") ? std::stoi(narrow(get("argc"))) : 0;
    for (int i = 0; i < argc; ++i)
        out.push_back(get("argv." + std::to_string(i)));
    return out;
}

std::map<std::wstring, unsigned long long> probe_report::files() const
{
    std::map<std::wstring, unsigned long long> out;
    auto [begin, end] = values.equal_range("file");
    for (auto it = begin; it != end; ++it) {
        size_t bar = it->second.rfind(L'|');
        out[it->second.substr(0, bar)] = std::stoull(it->second.substr(bar + 1));
    }
    return out;
}

probe_report parse_probe_report(const std::string &text)
{
    probe_report report;
    for (const std::string &line : split_lines(text)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            report.values.emplace(line.substr(0, eq), unescape(line.substr(eq + 1)));
    }
    return report;
}

const std::vector<std::wstring> &awkward_arguments()
{
    static const std::vector<std::wstring> arguments = {
        L"plain",
        L"with space",
        L"tab\there",
        L"say \"hi\"",
        L"\"",
        L"trailing\\",
        L"back\\\\\\\"quote",
        L"C:\\dir with space\\",
        L"",
        L"multi\\\\\\\\",
        L"\\\\server\\share",
        L"\U0001F600 astral",
        L"*.txt",
        L"a?b",
        L"line\nfeed",
        L"\u00FCml\u00E4ut",
        L"%PATH% 100%",
    };
    return arguments;
}

private_temp::private_temp() : path(make_temp_directory(L"run")) {}

private_temp::~private_temp()
{
    remove_tree(path);
}

std::vector<std::wstring> private_temp::entries() const
{
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return out;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L".." && name != L"report.txt" && name.rfind(L"report.txt", 0) != 0)
            out.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return out;
}

launcher_run run_launcher(const std::wstring &launcher, const std::vector<std::wstring> &arguments,
                          const std::wstring &actions, const private_temp &temp, process_options options)
{
    std::wstring report_path = temp.path + L"\\report.txt";
    DeleteFileW(report_path.c_str());
    options.environment.push_back({L"TMP", temp.path});
    options.environment.push_back({L"TEMP", temp.path});
    options.environment.push_back({L"TARVEK_PROBE_REPORT", report_path});
    options.environment.push_back({L"TARVEK_PROBE_ACTIONS", actions});
    launcher_run run;
    run.process = run_process(launcher, join_command_line(arguments), options);
    run.report_text = read_file(report_path);
    run.report = parse_probe_report(run.report_text);
    return run;
}

// The lines of this process's console screen buffer up to the cursor, each
// without its trailing blanks; empty when there is no console.
static std::string console_screen()
{
    HANDLE screen = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(screen, &info))
        return {};
    std::string text;
    std::wstring row(static_cast<size_t>(info.dwSize.X), L' ');
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        DWORD read = 0;
        ReadConsoleOutputCharacterW(screen, row.data(), static_cast<DWORD>(row.size()), COORD{0, y}, &read);
        std::wstring line = row.substr(0, read);
        line.erase(line.find_last_not_of(L' ') + 1);
        text += narrow(line) + "\n";
    }
    return text;
}

// Arguments: OUTPUT LAUNCHER COMMAND_LINE. Starts the launcher in this
// process's console, waits, and writes "exit=CODE" and the screen's lines
// to OUTPUT.
TARVEK_SCENARIO(start_in_this_console)
{
    if (arguments.size() != 3)
        return 99;
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
        write_file(arguments[0], "no console of its own\n");
        return 98;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring line = arguments[2];
    if (!CreateProcessW(arguments[1].c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        write_file(arguments[0], "cannot start the launcher: " + std::to_string(GetLastError()) + "\n");
        return 97;
    }
    DWORD exit_code = 0xFFFFFFFFu;
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 0xDEAD);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    write_file(arguments[0], "exit=" + std::to_string(exit_code) + "\n" + console_screen());
    return 0;
}

console_run run_in_own_console(const std::wstring &launcher, const std::vector<std::wstring> &arguments,
                               const std::wstring &actions, const private_temp &temp)
{
    const std::wstring report_path = temp.path + L"\\report.txt", output = temp.path + L"\\report.txt.console";
    DeleteFileW(report_path.c_str());
    process_options options;
    options.own_console = true;
    options.environment = {{L"TMP", temp.path},
                           {L"TEMP", temp.path},
                           {L"TARVEK_PROBE_REPORT", report_path},
                           {L"TARVEK_PROBE_ACTIONS", actions}};
    process_result starter =
        run_scenario("start_in_this_console", {output, launcher, join_command_line(arguments)}, options);
    console_run run;
    std::string text = read_file(output);
    if (starter.exit_code != 0 || text.rfind("exit=", 0) != 0) {
        run.starter_err = "starter exit " + std::to_string(starter.exit_code) + ": " + text;
        return run;
    }
    const size_t end = text.find('\n');
    run.exit_code = static_cast<uint32_t>(std::stoul(text.substr(5, end - 5)));
    run.screen = text.substr(end + 1);
    run.report = parse_probe_report(read_file(report_path));
    return run;
}

void expect_output_in_own_console(const std::wstring &launcher)
{
    private_temp temp;
    console_run run = run_in_own_console(launcher, {L"probe", L"in a console"}, L"out:printed to the console;exit:7",
                                         temp);
    ASSERT_EQ("", run.starter_err) << narrow(launcher);
    EXPECT_EQ(7u, run.exit_code) << narrow(launcher);
    EXPECT_NE(std::string::npos, run.screen.find("printed to the console\n")) << narrow(launcher) << run.screen;
    EXPECT_EQ(L"in a console", run.report.get("argv.1")) << narrow(launcher) << ": the probe did not run";
    EXPECT_TRUE(temp.entries().empty()) << narrow(launcher);
}
