// tarvek-reliability-runner: starts launchers the way a user would, each in a
// job of its own, and writes what happened as one JSON object per run. The
// host-side driver (reliability.py) writes the cases and judges the results.
//
//   tarvek-reliability-runner.exe CASES RESULTS WORK [--parallel N] [--timeout MS]
//
// CASES holds one case per line, UTF-8, fields separated by tabs, each
// KEY=VALUE:
//   id=NAME          names the case (and its files under WORK)
//   exe=PATH         the launcher
//   argv0=TEXT       element 0 of the command line (default: PATH)
//   arg=TEXT         a further argument (repeatable)
//   set=NAME=VALUE   an environment variable for the launcher (repeatable)
//   unset=NAME       a variable taken out of its environment (repeatable)
//   temp=fresh|given fresh (default): a folder WORK\ID.temp that holds only a
//                    canary file becomes TEMP and TMP, and whatever else is
//                    left in it is reported and removed; given: TEMP and TMP
//                    as set= and unset= say
//   watch=PATH       with temp=given: a folder whose new onefile_* entries
//                    are reported as left (not removed)
//   cwd=PATH         the launcher's current folder (default: a folder
//                    WORK\ID.cwd that holds canary files)
//   timeout=MS       the time bound of this case
//   kill=parent@MS   end the launcher MS ms after its start, then wait up to
//                    10 s for its first child to end
//   kill=child@MS    end its first child MS ms after the child started
//   hold=REL@MS      once the file REL exists below the target folder, keep it
//                    open (no delete sharing) until MS ms after the child ended
//   ctrlc=MS         MS ms after the child started, send Ctrl-C to the console
//                    that the runner then makes for itself and shares with
//                    every launcher (the runner ignores it; run such cases
//                    alone)
//   deny=all|memory  give every process of the run, as it appears, a DACL
//                    that lets no other process open it (all), or open it
//                    only for limited queries and waiting (memory): what
//                    security software may do
// TARVEK_PROBE_REPORT is set to WORK\ID.report unless set= names it.
//
// RESULTS gets one line per case, in the order the cases end:
//   {"id", "exit", "timed_out", "ms", "processes", "exits", "images", "out",
//    "err", "report", "left", "canaries_intact", "child_outlived_parent",
//    "child_end_ms", "hung_in_main_library"}
// processes counts every process of the run (the job sees grandchildren
// too); exits lists their exit codes in the order they started, images the
// file names of their executables. hung_in_main_library: at the time bound, a
// process still running had main.dll loaded (the application's code, not the
// launcher's, was running). child_outlived_parent (after kill=parent): the
// first child still ran 10 s after the parent was ended; child_end_ms: how
// long after the parent it ended (null when it did not, or when no parent
// was ended).
// canaries_intact is false when a canary file in the case's TEMP or current
// folder changed or vanished: the run deleted or wrote what is not its own.
#include <windows.h>

#include <aclapi.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process.hpp"

namespace {

struct case_spec {
    std::wstring id;
    std::wstring exe;
    std::optional<std::wstring> argv0;
    std::vector<std::wstring> arguments;
    environment_changes environment;
    bool fresh_temp = true;
    std::wstring watch;
    std::wstring cwd;
    DWORD timeout_ms = 0;
    std::optional<DWORD> kill_parent_ms;
    std::optional<DWORD> kill_child_ms;
    std::wstring hold_file;
    DWORD hold_after_child_ms = 0;
    std::optional<DWORD> ctrl_c_ms;
    enum class denial { none, all, memory } deny = denial::none;
};

struct tracked_process {
    DWORD id = 0;
    HANDLE handle = nullptr;
    bool ended = false;
    ULONGLONG started_at = 0;
    std::wstring image;
};

struct running_case {
    const case_spec *spec = nullptr;
    size_t index = 0;
    HANDLE job = nullptr;
    HANDLE root = nullptr;
    DWORD root_id = 0;
    std::wstring temp;
    std::wstring report_path;
    std::wstring cwd;
    std::vector<std::wstring> canaries;
    std::wstring out_path;
    std::wstring err_path;
    std::vector<std::wstring> watched_before;
    std::vector<tracked_process> processes;
    ULONGLONG started_at = 0;
    ULONGLONG deadline = 0;
    bool timed_out = false;
    bool hung_in_main_library = false;
    bool parent_killed = false;
    bool child_killed = false;
    bool ctrl_c_sent = false;
    std::optional<bool> child_outlived_parent;
    std::optional<ULONGLONG> child_end_ms;
    ULONGLONG parent_killed_at = 0;
    HANDLE held = INVALID_HANDLE_VALUE;
    ULONGLONG child_ended_at = 0;
    bool done = false;
};

std::wstring work_folder;
constexpr wchar_t temp_canary[] = L"tarvek-canary.txt";
DWORD default_timeout_ms = 30000;
constexpr ULONGLONG stuck_job_ms = 15000;
// How long the child of a parent ended from outside is given to end.
constexpr ULONGLONG child_end_wait_ms = 10000;
HANDLE completion_port = nullptr;

[[noreturn]] void die(const std::string &message)
{
    fprintf(stderr, "tarvek-reliability-runner: %s\n", message.c_str());
    exit(2);
}

DWORD parse_ms(const std::wstring &text)
{
    wchar_t *end = nullptr;
    unsigned long value = wcstoul(text.c_str(), &end, 10);
    if (text.empty() || *end != 0)
        die("not a number of milliseconds: '" + narrow(text) + "'");
    return static_cast<DWORD>(value);
}

std::pair<std::wstring, std::wstring> split_at(const std::wstring &text, wchar_t separator)
{
    size_t at = text.find(separator);
    if (at == std::wstring::npos)
        return {text, L""};
    return {text.substr(0, at), text.substr(at + 1)};
}

case_spec parse_case(const std::wstring &line)
{
    case_spec spec;
    spec.timeout_ms = default_timeout_ms;
    size_t start = 0;
    while (start <= line.size()) {
        size_t tab = line.find(L'\t', start);
        if (tab == std::wstring::npos)
            tab = line.size();
        std::wstring field = line.substr(start, tab - start);
        start = tab + 1;
        if (field.empty())
            continue;
        auto [key, value] = split_at(field, L'=');
        if (key == L"id") {
            spec.id = value;
        } else if (key == L"exe") {
            spec.exe = value;
        } else if (key == L"argv0") {
            spec.argv0 = value;
        } else if (key == L"arg") {
            spec.arguments.push_back(value);
        } else if (key == L"set") {
            auto [name, text] = split_at(value, L'=');
            spec.environment.push_back({name, text});
        } else if (key == L"unset") {
            spec.environment.push_back({value, std::nullopt});
        } else if (key == L"temp") {
            if (value != L"fresh" && value != L"given")
                die("temp= wants fresh or given");
            spec.fresh_temp = value == L"fresh";
        } else if (key == L"watch") {
            spec.watch = value;
        } else if (key == L"cwd") {
            spec.cwd = value;
        } else if (key == L"timeout") {
            spec.timeout_ms = parse_ms(value);
        } else if (key == L"kill") {
            auto [who, when] = split_at(value, L'@');
            if (who == L"parent")
                spec.kill_parent_ms = parse_ms(when);
            else if (who == L"child")
                spec.kill_child_ms = parse_ms(when);
            else
                die("kill= wants parent@MS or child@MS");
        } else if (key == L"hold") {
            auto [file, when] = split_at(value, L'@');
            spec.hold_file = file;
            spec.hold_after_child_ms = parse_ms(when);
        } else if (key == L"ctrlc") {
            spec.ctrl_c_ms = parse_ms(value);
        } else if (key == L"deny") {
            if (value != L"all" && value != L"memory")
                die("deny= wants all or memory");
            spec.deny = value == L"all" ? case_spec::denial::all : case_spec::denial::memory;
        } else {
            die("unknown case field '" + narrow(key) + "'");
        }
    }
    if (spec.id.empty() || spec.exe.empty())
        die("a case needs id= and exe=");
    return spec;
}

std::vector<case_spec> read_cases(const std::wstring &path)
{
    std::string text = read_file(path);
    std::vector<case_spec> cases;
    for (std::string line : split_lines(text)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] != '#')
            cases.push_back(parse_case(widen(line)));
    }
    return cases;
}

HANDLE inheritable_file(const std::wstring &path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Every entry below root, folders with a trailing backslash.
void list_tree(const std::wstring &root, const std::wstring &relative, std::vector<std::wstring> &out)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(relative + name + L"\\");
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                list_tree(root, relative + name + L"\\", out);
        } else {
            out.push_back(relative + name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::vector<std::wstring> onefile_entries(const std::wstring &folder)
{
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW found;
    std::wstring pattern = folder + (folder.empty() || folder.back() != L'\\' ? L"\\" : L"") + L"onefile_*";
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return out;
    do
        out.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(out.begin(), out.end());
    return out;
}

// Replaces the process's DACL: no entry at all, or one that allows everyone
// the limited query and waiting.
void restrict_access(HANDLE process, case_spec::denial deny)
{
    if (deny == case_spec::denial::none)
        return;
    alignas(8) unsigned char buffer[256];
    ACL *acl = reinterpret_cast<ACL *>(buffer);
    InitializeAcl(acl, sizeof buffer, ACL_REVISION);
    if (deny == case_spec::denial::memory) {
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = nullptr;
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
        AddAccessAllowedAce(acl, ACL_REVISION, PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, everyone);
        FreeSid(everyone);
    }
    DWORD result = SetSecurityInfo(process, SE_KERNEL_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                   nullptr, acl, nullptr);
    if (result != ERROR_SUCCESS)
        die("cannot restrict a process's access: error " + std::to_string(result));
}

constexpr char canary_text[] = "canary: not the launcher's to touch\n";

void plant_canary(running_case &run, const std::wstring &path)
{
    write_file(path, canary_text);
    run.canaries.push_back(path);
}

bool canaries_intact(const running_case &run)
{
    for (const std::wstring &path : run.canaries)
        if (read_file(path) != canary_text)
            return false;
    return true;
}

void start_case(running_case &run)
{
    const case_spec &spec = *run.spec;
    std::wstring base = work_folder + L"\\" + spec.id;
    run.out_path = base + L".out";
    run.err_path = base + L".err";
    run.report_path = base + L".report";
    DeleteFileW(run.report_path.c_str());
    environment_changes environment = {{L"TARVEK_PROBE_REPORT", run.report_path}};
    if (spec.fresh_temp) {
        run.temp = base + L".temp";
        remove_tree(run.temp);
        if (!CreateDirectoryW(run.temp.c_str(), nullptr))
            die("cannot make " + narrow(run.temp));
        environment.push_back({L"TEMP", run.temp});
        environment.push_back({L"TMP", run.temp});
        plant_canary(run, run.temp + L"\\" + temp_canary);
    }
    run.cwd = spec.cwd;
    if (run.cwd.empty()) {
        run.cwd = base + L".cwd";
        remove_tree(run.cwd);
        CreateDirectoryW(run.cwd.c_str(), nullptr);
        CreateDirectoryW((run.cwd + L"\\folder").c_str(), nullptr);
        plant_canary(run, run.cwd + L"\\canary.txt");
        plant_canary(run, run.cwd + L"\\folder\\canary.txt");
    }
    environment.insert(environment.end(), spec.environment.begin(), spec.environment.end());
    for (const auto &[name, value] : spec.environment)
        if (_wcsicmp(name.c_str(), L"TARVEK_PROBE_REPORT") == 0 && value)
            run.report_path = *value;
    if (!spec.watch.empty())
        run.watched_before = onefile_entries(spec.watch);

    std::vector<std::wstring> line = {spec.argv0.value_or(spec.exe)};
    line.insert(line.end(), spec.arguments.begin(), spec.arguments.end());
    std::wstring command_line = join_command_line(line);
    std::wstring block = environment_block(environment);

    // Created, handed over and closed before the next case starts, so that no
    // other case's processes inherit them.
    HANDLE in = inheritable_file(L"NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = inheritable_file(run.out_path, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = inheritable_file(run.err_path, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    // A launcher that is to get Ctrl-C writes to the console it shares.
    if (!spec.ctrl_c_ms) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = err;
    }

    run.job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(run.job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT port = {reinterpret_cast<void *>(run.index), completion_port};
    if (!SetInformationJobObject(run.job, JobObjectAssociateCompletionPortInformation, &port, sizeof port))
        die("cannot associate the job with the completion port");

    PROCESS_INFORMATION info = {};
    run.started_at = GetTickCount64();
    run.deadline = run.started_at + spec.timeout_ms;
    // Wine now and then refuses a start for a moment (an internal error right
    // after a crashed process, under load); a refusal that lasts ends the run.
    BOOL started = FALSE;
    DWORD start_error = 0;
    for (int attempt = 0; attempt < 10 && !started; ++attempt) {
        if (attempt > 0)
            Sleep(200);
        started = CreateProcessW(spec.exe.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                 CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, block.data(), run.cwd.c_str(),
                                 &startup, &info);
        start_error = GetLastError();
    }
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (!started)
        die("cannot start " + narrow(spec.exe) + ": error " + std::to_string(start_error));
    AssignProcessToJobObject(run.job, info.hProcess);
    restrict_access(info.hProcess, spec.deny);
    run.root = info.hProcess;
    run.root_id = info.dwProcessId;
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
}

std::wstring image_file_name(HANDLE process)
{
    wchar_t path[MAX_PATH * 4];
    DWORD length = MAX_PATH * 4;
    if (process == nullptr || !QueryFullProcessImageNameW(process, 0, path, &length))
        return L"?";
    std::wstring image(path, length);
    return image.substr(image.rfind(L'\\') + 1);
}

// Whether the process has a module named main.dll loaded.
bool has_main_library(HANDLE process)
{
    HMODULE modules[512];
    DWORD needed = 0;
    if (!K32EnumProcessModules(process, modules, sizeof modules, &needed))
        return false;
    for (DWORD i = 0; i < needed / sizeof modules[0] && i < 512; ++i) {
        wchar_t name[MAX_PATH];
        if (K32GetModuleBaseNameW(process, modules[i], name, MAX_PATH) && _wcsicmp(name, L"main.dll") == 0)
            return true;
    }
    return false;
}

tracked_process *find_process(running_case &run, DWORD id)
{
    for (tracked_process &p : run.processes)
        if (p.id == id && !p.ended)
            return &p;
    return nullptr;
}

size_t active_processes(const running_case &run)
{
    return static_cast<size_t>(std::count_if(run.processes.begin(), run.processes.end(),
                                             [](const tracked_process &p) { return !p.ended; }));
}

tracked_process *first_child(running_case &run)
{
    for (tracked_process &p : run.processes)
        if (p.id != run.root_id)
            return &p;
    return nullptr;
}

void on_job_message(running_case &run, DWORD message, DWORD process_id)
{
    switch (message) {
    case JOB_OBJECT_MSG_NEW_PROCESS: {
        tracked_process p;
        p.id = process_id;
        p.started_at = GetTickCount64();
        // The root's handle is already ours; others are opened as they come,
        // before they have started anything of their own.
        if (process_id == run.root_id) {
            p.handle = run.root;
        } else {
            p.handle = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE | PROCESS_TERMINATE |
                                       WRITE_DAC,
                                   FALSE, process_id);
            if (p.handle != nullptr)
                restrict_access(p.handle, run.spec->deny);
        }
        p.image = image_file_name(p.handle);
        run.processes.push_back(p);
        break;
    }
    case JOB_OBJECT_MSG_EXIT_PROCESS:
    case JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS:
        if (tracked_process *p = find_process(run, process_id)) {
            p->ended = true;
            if (p->id != run.root_id && run.child_ended_at == 0)
                run.child_ended_at = GetTickCount64();
        }
        break;
    case JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO:
        run.done = true;
        break;
    default:
        break;
    }
}

// The file to hold, below the one onefile_* folder in the case's TEMP.
std::wstring held_file_path(const running_case &run)
{
    std::vector<std::wstring> folders = onefile_entries(run.temp);
    if (folders.size() != 1)
        return {};
    return run.temp + L"\\" + folders[0] + L"\\" + run.spec->hold_file;
}

// Timed actions of a case: faults from outside, the time bound.
void on_tick(running_case &run)
{
    const case_spec &spec = *run.spec;
    ULONGLONG now = GetTickCount64();
    if (now >= run.deadline && !run.timed_out) {
        run.timed_out = true;
        for (const tracked_process &p : run.processes)
            if (!p.ended && p.handle != nullptr && has_main_library(p.handle))
                run.hung_in_main_library = true;
        TerminateJobObject(run.job, 0xDEAD);
    }
    // A job that does not report its end even once ended: give up on it.
    if (run.timed_out && now >= run.deadline + stuck_job_ms)
        run.done = true;
    if (spec.kill_parent_ms && !run.parent_killed && now >= run.started_at + *spec.kill_parent_ms) {
        run.parent_killed = true;
        run.parent_killed_at = now;
        TerminateProcess(run.root, 0xDEAD);
    }
    // After the parent was ended: does its child end too, within 10 s?
    if (run.parent_killed && !run.child_outlived_parent) {
        tracked_process *child = first_child(run);
        bool ended = child == nullptr || WaitForSingleObject(child->handle, 0) != WAIT_TIMEOUT;
        if (ended && child != nullptr)
            run.child_end_ms = now - run.parent_killed_at;
        if (ended || now >= run.parent_killed_at + child_end_wait_ms) {
            run.child_outlived_parent = !ended;
            TerminateJobObject(run.job, 0xDEAD);
        }
    }
    tracked_process *child = first_child(run);
    if (spec.kill_child_ms && !run.child_killed && child != nullptr &&
        now >= child->started_at + *spec.kill_child_ms) {
        run.child_killed = true;
        TerminateProcess(child->handle, 0xBAD);
    }
    if (spec.ctrl_c_ms && !run.ctrl_c_sent && child != nullptr && now >= child->started_at + *spec.ctrl_c_ms) {
        run.ctrl_c_sent = true;
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    }
    if (!spec.hold_file.empty()) {
        if (run.held == INVALID_HANDLE_VALUE && run.child_ended_at == 0) {
            std::wstring path = held_file_path(run);
            if (!path.empty())
                run.held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        if (run.held != INVALID_HANDLE_VALUE && run.child_ended_at != 0 &&
            now >= run.child_ended_at + spec.hold_after_child_ms) {
            CloseHandle(run.held);
            run.held = INVALID_HANDLE_VALUE;
        }
    }
}

std::string json_text(const std::string &utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Bytes that may not be UTF-8 (what a launcher printed), one code point each.
std::string json_bytes(const std::string &bytes)
{
    std::wstring wide;
    for (unsigned char c : bytes)
        wide += static_cast<wchar_t>(c);
    return json_text(narrow(wide));
}

std::string finish_case(running_case &run)
{
    if (run.held != INVALID_HANDLE_VALUE)
        CloseHandle(run.held);
    DWORD exit_code = 0;
    if (!GetExitCodeProcess(run.root, &exit_code))
        exit_code = 0xFFFFFFFFu;
    std::string exits = "[";
    std::string images = "[";
    for (size_t i = 0; i < run.processes.size(); ++i) {
        images += (i ? "," : "") + json_text(narrow(run.processes[i].image));
        DWORD code = 0;
        if (run.processes[i].handle == nullptr || !GetExitCodeProcess(run.processes[i].handle, &code))
            code = 0xFFFFFFFFu;
        exits += (i ? "," : "") + std::to_string(code);
        if (run.processes[i].handle != nullptr && run.processes[i].handle != run.root)
            CloseHandle(run.processes[i].handle);
    }
    exits += "]";
    images += "]";
    CloseHandle(run.root);
    CloseHandle(run.job);

    bool intact = canaries_intact(run);
    std::vector<std::wstring> left;
    if (!run.temp.empty()) {
        list_tree(run.temp, L"", left);
        left.erase(std::remove(left.begin(), left.end(), std::wstring(temp_canary)), left.end());
        remove_tree(run.temp);
    }
    if (run.spec->cwd.empty())
        remove_tree(run.cwd);
    if (!run.spec->watch.empty())
        for (const std::wstring &name : onefile_entries(run.spec->watch))
            if (!std::binary_search(run.watched_before.begin(), run.watched_before.end(), name))
                left.push_back(name);
    std::string left_json = "[";
    for (size_t i = 0; i < left.size(); ++i)
        left_json += (i ? "," : "") + json_text(narrow(left[i]));
    left_json += "]";

    std::string out = read_file(run.out_path);
    std::string err = read_file(run.err_path);
    std::string report = read_file(run.report_path);
    DeleteFileW(run.out_path.c_str());
    DeleteFileW(run.err_path.c_str());
    DeleteFileW(run.report_path.c_str());
    std::string outlived = !run.child_outlived_parent ? "null" : *run.child_outlived_parent ? "true" : "false";
    std::string child_end_ms = run.child_end_ms ? std::to_string(*run.child_end_ms) : "null";

    return "{\"id\":" + json_text(narrow(run.spec->id)) + ",\"exit\":" + std::to_string(exit_code) +
           ",\"timed_out\":" + (run.timed_out ? "true" : "false") +
           ",\"ms\":" + std::to_string(GetTickCount64() - run.started_at) +
           ",\"processes\":" + std::to_string(run.processes.size()) + ",\"exits\":" + exits +
           ",\"images\":" + images + ",\"hung_in_main_library\":" + (run.hung_in_main_library ? "true" : "false") +
           ",\"out\":" + json_bytes(out) + ",\"err\":" + json_bytes(err) + ",\"report\":" + json_bytes(report) +
           ",\"left\":" + left_json + ",\"canaries_intact\":" + (intact ? "true" : "false") +
           ",\"child_outlived_parent\":" + outlived + ",\"child_end_ms\":" + child_end_ms + "}";
}

BOOL WINAPI ignore_console_event(DWORD)
{
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc >= 2 && (wcscmp(argv[1], L"--help") == 0 || wcscmp(argv[1], L"-h") == 0)) {
        puts("usage: tarvek-reliability-runner CASES RESULTS WORK [--parallel N] [--timeout MS]\n"
             "Runs each case of CASES (see the head of runner.cpp) in a job of its own and writes one\n"
             "JSON line per case to RESULTS; WORK holds each case's files while it runs.");
        return 0;
    }
    if (argc < 4)
        die("usage: tarvek-reliability-runner CASES RESULTS WORK [--parallel N] [--timeout MS]");
    size_t parallel = 1;
    for (int i = 4; i < argc; ++i) {
        if (wcscmp(argv[i], L"--parallel") == 0 && i + 1 < argc)
            parallel = std::max<size_t>(1, parse_ms(argv[++i]));
        else if (wcscmp(argv[i], L"--timeout") == 0 && i + 1 < argc)
            default_timeout_ms = parse_ms(argv[++i]);
        else
            die("unknown option '" + narrow(argv[i]) + "'");
    }
    work_folder = argv[3];
    std::vector<case_spec> cases = read_cases(argv[1]);
    HANDLE results = CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (results == INVALID_HANDLE_VALUE)
        die("cannot write " + narrow(argv[2]));
    // Ctrl-C goes to every process on a console: one of the runner's own.
    if (std::any_of(cases.begin(), cases.end(), [](const case_spec &c) { return c.ctrl_c_ms.has_value(); })) {
        FreeConsole();
        if (!AllocConsole())
            die("cannot make a console for Ctrl-C");
    }
    SetConsoleCtrlHandler(ignore_console_event, TRUE);
    completion_port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);

    std::vector<running_case> runs(cases.size());
    size_t next = 0;
    size_t finished = 0;
    size_t running = 0;
    while (finished < cases.size()) {
        while (running < parallel && next < cases.size()) {
            runs[next].spec = &cases[next];
            runs[next].index = next;
            start_case(runs[next]);
            ++next;
            ++running;
        }
        DWORD message = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED data = nullptr;
        if (GetQueuedCompletionStatus(completion_port, &message, &key, &data, 10) && key < runs.size())
            on_job_message(runs[key], message, static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(data)));
        for (size_t i = 0; i < next; ++i) {
            running_case &run = runs[i];
            if (run.job == nullptr)
                continue;
            on_tick(run);
            if (!run.done)
                continue;
            std::string line = finish_case(run) + "\n";
            run.job = nullptr;
            --running;
            ++finished;
            DWORD written = 0;
            WriteFile(results, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            if (finished % 100 == 0)
                fprintf(stderr, "tarvek-reliability-runner: %zu of %zu cases run\n", finished, cases.size());
        }
    }
    CloseHandle(results);
    return 0;
}
