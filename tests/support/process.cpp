#include "tests/support/process.hpp"

#include <windows.h>

#include <map>

std::wstring widen(const std::string &text)
{
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring &text)
{
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring quote_argument(const std::wstring &argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    out += L'"';
    return out;
}

std::wstring join_command_line(const std::vector<std::wstring> &arguments)
{
    std::wstring line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0)
            line += L' ';
        line += quote_argument(arguments[i]);
    }
    return line;
}

std::wstring own_executable()
{
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return path;
}

static std::string read_all(HANDLE file);

std::wstring make_temp_directory(const std::wstring &tag)
{
    wchar_t base[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, base);
    static unsigned counter;
    for (;;) {
        std::wstring path = std::wstring(base) + L"tarvek-test-" + tag + L"-" +
                            std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        if (CreateDirectoryW(path.c_str(), nullptr))
            return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
}

void remove_tree(const std::wstring &path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            DWORD attributes = found.dwFileAttributes;
            // A link goes as the link: what it points to may be outside.
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveDirectoryW(child.c_str());
            else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

static void list_files(const std::wstring &root, const std::wstring &relative, std::vector<std::wstring> &files)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            list_files(root, relative + name + L"\\", files);
        else
            files.push_back(relative + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::vector<std::wstring> files_in_tree(const std::wstring &root)
{
    std::vector<std::wstring> files;
    list_files(root, L"", files);
    return files;
}

std::map<std::wstring, unsigned long long> file_sizes_in_tree(const std::wstring &root)
{
    std::map<std::wstring, unsigned long long> sizes;
    for (const std::wstring &file : files_in_tree(root)) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        GetFileAttributesExW((root + L"\\" + file).c_str(), GetFileExInfoStandard, &data);
        sizes[file] = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return sizes;
}

bool path_exists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string read_file(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string content = read_all(file);
    CloseHandle(file);
    return content;
}

std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

void write_file(const std::wstring &path, const std::string &content)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

bool is_abort_exit(uint32_t exit_code)
{
    return exit_code == 3 || exit_code == 0xC0000409u;
}

std::wstring environment_block(const environment_changes &changes)
{
    std::map<std::wstring, std::wstring, bool (*)(const std::wstring &, const std::wstring &)> vars(
        [](const std::wstring &a, const std::wstring &b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
    wchar_t *block = GetEnvironmentStringsW();
    for (const wchar_t *p = block; *p != 0; p += wcslen(p) + 1) {
        std::wstring entry = p;
        size_t eq = entry.find(L'=', 1);
        if (eq == std::wstring::npos)
            continue;
        vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    FreeEnvironmentStringsW(block);
    for (const auto &[name, value] : changes) {
        if (value)
            vars[name] = *value;
        else
            vars.erase(name);
    }
    std::wstring out;
    for (const auto &[name, value] : vars) {
        out += name + L"=" + value;
        out += L'\0';
    }
    out += L'\0';
    return out;
}

static HANDLE make_temp_file(const wchar_t *tag)
{
    wchar_t dir[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, tag, 0, name);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                       nullptr);
}

static std::string read_all(HANDLE file)
{
    std::string out;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        out.append(chunk, got);
    return out;
}

// A job that ends everything in it when its handle is closed, with `limits`
// besides; null when the system refuses it.
static HANDLE job_with_limits(uint32_t limits)
{
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION information = {};
    information.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | limits;
    if (job != nullptr &&
        !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &information, sizeof information)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

// Starts the process, in `job` if it is not null; false with a message in
// `error` when it cannot be.
static bool start_process(const std::wstring &application, std::wstring &line, std::wstring &env,
                          const std::wstring &current_directory, STARTUPINFOW &startup, HANDLE job,
                          bool own_console, PROCESS_INFORMATION *info, std::string &error)
{
    DWORD flags = CREATE_UNICODE_ENVIRONMENT | (job != nullptr ? CREATE_SUSPENDED : 0) |
                  (own_console ? CREATE_NO_WINDOW : 0);
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, flags, env.data(),
                        current_directory.empty() ? nullptr : current_directory.c_str(), &startup, info)) {
        error = "run_process: CreateProcessW failed with " + std::to_string(GetLastError());
        return false;
    }
    if (job != nullptr && !(AssignProcessToJobObject(job, info->hProcess) && ResumeThread(info->hThread) == 1)) {
        error = "run_process: the job was refused (" + std::to_string(GetLastError()) + ")";
        TerminateProcess(info->hProcess, 0xFFFFFFFFu);
        CloseHandle(info->hThread);
        CloseHandle(info->hProcess);
        return false;
    }
    return true;
}

process_result run_process(const std::wstring &application, const std::wstring &command_line,
                           const process_options &options)
{
    process_result result;
    HANDLE in = make_temp_file(L"tin");
    HANDLE out = make_temp_file(L"tou");
    HANDLE err = make_temp_file(L"ter");
    DWORD written = 0;
    if (!options.standard_input.empty())
        WriteFile(in, options.standard_input.data(), static_cast<DWORD>(options.standard_input.size()),
                  &written, nullptr);
    SetFilePointer(in, 0, nullptr, FILE_BEGIN);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!options.own_console) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = err;
    }
    if (options.show_window) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = *options.show_window;
    }
    PROCESS_INFORMATION info = {};
    std::wstring line = command_line;
    std::wstring env = environment_block(options.environment);
    HANDLE job = options.job_limits ? job_with_limits(*options.job_limits) : nullptr;
    BOOL started = FALSE;
    if (options.job_limits && job == nullptr)
        result.err = "run_process: no job";
    else
        started = start_process(application, line, env, options.current_directory, startup, job,
                                options.own_console, &info, result.err);
    if (!started) {
        result.exit_code = 0xFFFFFFFFu;
    } else {
        CloseHandle(info.hThread);
        result.process_id = info.dwProcessId;
        if (WaitForSingleObject(info.hProcess, options.timeout_ms) != WAIT_OBJECT_0) {
            result.timed_out = true;
            TerminateProcess(info.hProcess, 0xDEAD);
            WaitForSingleObject(info.hProcess, INFINITE);
        }
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        result.exit_code = code;
        CloseHandle(info.hProcess);
        result.out = read_all(out);
        result.err = read_all(err);
    }
    if (job != nullptr)
        CloseHandle(job);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    return result;
}
