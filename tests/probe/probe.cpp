// The probe application: reports what it was given and then does what
// TARVEK_PROBE_ACTIONS asks. Built as a main library (probe_library.cpp,
// its run_code) and as an ordinary program (probe_program.cpp, its wmain),
// which the adapter library runs.
//
// Report (to the file named by TARVEK_PROBE_REPORT, else standard output),
// one "key=value" line each, values escaped as in escape() below:
//   argc, argv.N, library (the main library's path; not for the program),
//   image (the process's executable), cwd, env.NAME for each TARVEK_*
//   variable, pid, parent-pid, file=RELATIVE PATH|SIZE for each file below the library's directory
//   (the program's own for the program).
// Actions, separated by ';', run in order after the report is written:
//   exit:N      return N (decimal, or 0x hex; may be negative)
//   sleep:MS    sleep
//   crash       write through a null pointer (access violation)
//   relaunch    start the launcher again with the argument "again" and no
//               actions, reporting to REPORT.relaunch; wait; report
//               "relaunch.exit=CODE"
//   relaunch-as:PATH
//               the same, starting the launcher through another spelling
//               of its path (a short name, a link)
//   spawn:CMD   start CMD (a whole command line), wait, report "spawn.exit=CODE"
//   spawn-breakaway:CMD
//               the same, the process started outside this one's job
//   delete:REL  delete the file REL below the library's directory
//   echo-stdin  copy standard input to standard output
//   echo-bytes  copy the standard input handle's bytes to the standard
//               output handle, as they are
//   end-parent:N
//               report "end-parent=ending", end the process that started
//               this one with exit code N (report "end-parent=failed" if it
//               cannot), then sleep 3 s and report "survived=1"
//   out:TEXT    write TEXT and a line end to standard output
//   err:TEXT    write TEXT and a line end to standard error
//   ignore-console-events
//               handle every console control event by ignoring it; report
//               "console-events=ignored"
//   exit-on-console-event:N
//               end the process with N on a console control event; report
//               "console-events=exit"
//   long-file:N make a file below the library's directory whose full path is
//               N units long, in folders of at most 200-unit names made
//               through the "\\?\" form; report "long-file=PATH"
//   load:NAME   load a library by bare name (LoadLibraryW); report
//               "load.NAME=PATH" of what was loaded, or "load.NAME=error N"
//   security    report "security=SDDL": the owner and DACL of the library's
//               directory, as the system stores them
//   replace-library
//               try to open the main library for writing, to rename it (and
//               back) and to delete it; report
//               "replace-library=write:R,rename:R,delete:R", R being
//               "refused" or "done"
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

#include <tlhelp32.h>

#include "tests/probe/probe.hpp"
#include "tests/support/process.hpp"

namespace {

// The folder of the main library, or of the program.
std::wstring own_directory;

// Printable ASCII stays, except '%'; everything else is %HHHH per UTF-16 unit.
std::string escape(const std::wstring &text)
{
    std::string out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F && c != L'%') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "%%%04X", static_cast<unsigned>(c));
            out += hex;
        }
    }
    return out;
}

std::wstring env(const wchar_t *name, bool *present)
{
    std::wstring value(32768, L'\0');
    SetLastError(0);
    DWORD n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    *present = n != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    value.resize(n);
    return value;
}

// The process id of the process that started this one, or 0.
DWORD parent_process_id()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    CloseHandle(snapshot);
    return parent;
}

std::string make_report(int argc, wchar_t **argv, const wchar_t *library)
{
    std::string report = "argc=" + std::to_string(argc) + "\n";
    for (int i = 0; i < argc; ++i)
        report += "argv." + std::to_string(i) + "=" + escape(argv[i]) + "\n";
    if (library != nullptr)
        report += "library=" + escape(library) + "\n";
    report += "image=" + escape(own_executable()) + "\n";
    wchar_t cwd[4096];
    GetCurrentDirectoryW(4096, cwd);
    report += "cwd=" + escape(cwd) + "\n";
    for (const wchar_t *name : {L"TARVEK_ONEFILE_PARENT", L"TARVEK_ONEFILE_START", L"TARVEK_ONEFILE_TIME_US",
                                L"TARVEK_ONEFILE_RANDOM", L"TARVEK_ONEFILE_DIRECTORY", L"TARVEK_ORIGINAL_ARGV0"}) {
        bool present = false;
        std::wstring value = env(name, &present);
        if (present)
            report += "env." + narrow(name) + "=" + escape(value) + "\n";
    }
    report += "pid=" + std::to_string(GetCurrentProcessId()) + "\n";
    report += "parent-pid=" + std::to_string(parent_process_id()) + "\n";
    for (const auto &[file, size] : file_sizes_in_tree(own_directory))
        report += "file=" + escape(file) + "|" + std::to_string(size) + "\n";
    return report;
}

void write_report(const std::string &report)
{
    bool present = false;
    std::wstring path = env(L"TARVEK_PROBE_REPORT", &present);
    if (path.empty()) {
        fwrite(report.data(), 1, report.size(), stdout);
        fflush(stdout);
        return;
    }
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
    CloseHandle(file);
}

// Starts a command line with this process's handles, waits, returns its
// exit code (0xFFFFFFFF when it cannot be started).
DWORD run_and_wait(const wchar_t *application, std::wstring command_line, DWORD flags = 0)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(application, command_line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                        &startup, &info))
        return 0xFFFFFFFFu;
    CloseHandle(info.hThread);
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return code;
}

BOOL WINAPI ignore_console_event(DWORD)
{
    return TRUE;
}

UINT exit_code_on_console_event;

BOOL WINAPI exit_on_console_event(DWORD)
{
    ExitProcess(exit_code_on_console_event);
}

std::wstring directory_of(const std::wstring &path)
{
    return path.substr(0, path.rfind(L'\\'));
}

// Copies the standard input handle to the standard output handle.
void echo_bytes()
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE), out = GetStdHandle(STD_OUTPUT_HANDLE);
    char chunk[65536];
    DWORD got = 0, written = 0;
    while (ReadFile(in, chunk, sizeof chunk, &got, nullptr) && got > 0)
        WriteFile(out, chunk, got, &written, nullptr);
}

// Reported before the end, which may end this process at once.
void end_parent(UINT code, std::string &report)
{
    write_report("end-parent=ending\n");
    HANDLE parent = OpenProcess(PROCESS_TERMINATE, FALSE, parent_process_id());
    if (parent == nullptr || !TerminateProcess(parent, code))
        report += "end-parent=failed\n";
    Sleep(3000);
    report += "survived=1\n";
}

// Folders of "l" names below the library's directory, then a file of "f"
// names, so that the file's path is `length` units long; empty if it cannot be.
std::wstring make_long_file(size_t length)
{
    std::wstring path = own_directory;
    std::wstring prefix = L"\\\\?\\";
    while (length > path.size() + 1 + 200 + 1 + 1) {
        size_t name = std::min<size_t>(200, length - path.size() - 1 - 2);
        path += L"\\" + std::wstring(name, L'l');
        if (!CreateDirectoryW((prefix + path).c_str(), nullptr))
            return {};
    }
    if (length <= path.size() + 1)
        return {};
    path += L"\\" + std::wstring(length - path.size() - 1, L'f');
    HANDLE file = CreateFileW((prefix + path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    CloseHandle(file);
    return path;
}

std::string load_by_bare_name(const std::wstring &name)
{
    HMODULE library = LoadLibraryW(name.c_str());
    if (library == nullptr)
        return "error " + std::to_string(GetLastError());
    wchar_t path[4096];
    GetModuleFileNameW(library, path, 4096);
    return escape(path);
}

std::string directory_security()
{
    constexpr SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    std::wstring directory = own_directory;
    DWORD needed = 0;
    GetFileSecurityW(directory.c_str(), parts, nullptr, 0, &needed);
    std::string descriptor(needed, '\0');
    wchar_t *text = nullptr;
    if (needed == 0 || !GetFileSecurityW(directory.c_str(), parts, descriptor.data(), needed, &needed) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1, parts, &text,
                                                              nullptr))
        return "error " + std::to_string(GetLastError());
    std::string sddl = escape(text);
    LocalFree(text);
    return sddl;
}

const char *outcome(bool done)
{
    return done ? "done" : "refused";
}

std::string replace_library()
{
    wchar_t library[4096];
    GetModuleFileNameW(GetModuleHandleW(L"main.dll"), library, 4096);
    std::wstring moved = std::wstring(library) + L".replaced";
    HANDLE writer = CreateFileW(library, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    bool written = writer != INVALID_HANDLE_VALUE;
    if (written)
        CloseHandle(writer);
    bool renamed = MoveFileExW(library, moved.c_str(), 0) != 0;
    if (renamed)
        MoveFileExW(moved.c_str(), library, 0);
    bool deleted = DeleteFileW(library) != 0;
    return std::string("write:") + outcome(written) + ",rename:" + outcome(renamed) + ",delete:" + outcome(deleted);
}

bool act(const std::wstring &action, int *result, std::string &report)
{
    std::wstring verb = action.substr(0, action.find(L':'));
    std::wstring argument = action.find(L':') == std::wstring::npos ? L"" : action.substr(action.find(L':') + 1);
    if (verb == L"exit") {
        *result = static_cast<int>(std::wcstoll(argument.c_str(), nullptr, 0));
        return false;
    }
    if (verb == L"sleep") {
        Sleep(static_cast<DWORD>(std::wcstoul(argument.c_str(), nullptr, 10)));
    } else if (verb == L"crash") {
        *static_cast<volatile int *>(nullptr) = 1;
    } else if (verb == L"relaunch" || verb == L"relaunch-as") {
        wchar_t self[4096];
        GetModuleFileNameW(nullptr, self, 4096);
        std::wstring launcher = verb == L"relaunch" ? std::wstring(self) : argument;
        bool had_report = false;
        std::wstring report_path = env(L"TARVEK_PROBE_REPORT", &had_report);
        SetEnvironmentVariableW(L"TARVEK_PROBE_ACTIONS", nullptr);
        if (!report_path.empty())
            SetEnvironmentVariableW(L"TARVEK_PROBE_REPORT", (report_path + L".relaunch").c_str());
        DWORD code = run_and_wait(launcher.c_str(), L"\"" + launcher + L"\" again");
        if (!report_path.empty())
            SetEnvironmentVariableW(L"TARVEK_PROBE_REPORT", report_path.c_str());
        report += "relaunch.exit=" + std::to_string(code) + "\n";
    } else if (verb == L"spawn") {
        report += "spawn.exit=" + std::to_string(run_and_wait(nullptr, argument)) + "\n";
    } else if (verb == L"spawn-breakaway") {
        report += "spawn.exit=" + std::to_string(run_and_wait(nullptr, argument, CREATE_BREAKAWAY_FROM_JOB)) + "\n";
    } else if (verb == L"delete") {
        DeleteFileW((own_directory + L"\\" + argument).c_str());
    } else if (verb == L"ignore-console-events") {
        SetConsoleCtrlHandler(ignore_console_event, TRUE);
        report += "console-events=ignored\n";
    } else if (verb == L"exit-on-console-event") {
        exit_code_on_console_event = static_cast<UINT>(std::wcstoul(argument.c_str(), nullptr, 0));
        SetConsoleCtrlHandler(exit_on_console_event, TRUE);
        report += "console-events=exit\n";
    } else if (verb == L"load") {
        report += "load." + narrow(argument) + "=" + load_by_bare_name(argument) + "\n";
    } else if (verb == L"security") {
        report += "security=" + directory_security() + "\n";
    } else if (verb == L"replace-library") {
        report += "replace-library=" + replace_library() + "\n";
    } else if (verb == L"long-file") {
        report += "long-file=" + escape(make_long_file(std::wcstoul(argument.c_str(), nullptr, 10))) + "\n";
    } else if (verb == L"echo-stdin") {
        char chunk[4096];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, stdin)) > 0)
            fwrite(chunk, 1, n, stdout);
        fflush(stdout);
    } else if (verb == L"echo-bytes") {
        echo_bytes();
    } else if (verb == L"end-parent") {
        end_parent(static_cast<UINT>(std::wcstoul(argument.c_str(), nullptr, 0)), report);
    } else if (verb == L"out") {
        fprintf(stdout, "%s\n", narrow(argument).c_str());
        fflush(stdout);
    } else if (verb == L"err") {
        fprintf(stderr, "%s\n", narrow(argument).c_str());
        fflush(stderr);
    }
    return true;
}

} // namespace

int run_probe(int argc, wchar_t **argv, const wchar_t *library)
{
    own_directory = directory_of(library != nullptr ? library : own_executable());
    write_report(make_report(argc, argv, library));
    bool present = false;
    std::wstring actions = env(L"TARVEK_PROBE_ACTIONS", &present);
    int result = 0;
    for (size_t start = 0; start < actions.size();) {
        size_t end = actions.find(L';', start);
        if (end == std::wstring::npos)
            end = actions.size();
        std::string lines;
        bool go_on = act(actions.substr(start, end - start), &result, lines);
        if (!lines.empty())
            write_report(lines);
        if (!go_on)
            break;
        start = end + 1;
    }
    return result;
}
