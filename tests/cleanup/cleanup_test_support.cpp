#include "tests/cleanup/cleanup_test_support.hpp"


#include "launcher/cleanup.hpp"
#include "launcher/launcher_state.hpp"
#include "launcher/tree_removal.hpp"
#include "paths/text.hpp"

tree_removal test_removal;

std::wstring long_form(const std::wstring &path)
{
    return path.rfind(L"\\\\?\\", 0) == 0 ? path : L"\\\\?\\" + path;
}

size_t longest_build_drive_path()
{
    static size_t longest;
    if (longest != 0)
        return longest;
    work_folder limit(L"limit");
    for (size_t units = 4095; units > 3000 && longest == 0; --units)
        if (make_file(path_of_length(limit.path, units)))
            longest = units;
    return longest;
}

std::wstring path_of_length(const std::wstring &base, size_t units)
{
    std::wstring path = base;
    while (path.size() < units) {
        // Never leave a single unit over: it could only be a lone backslash.
        size_t room = units - path.size() - 1;
        path += L"\\" + std::wstring(room <= 200 ? room : room == 201 ? 199 : 200, L'p');
    }
    return path;
}

work_folder::work_folder(const std::wstring &tag)
{
    static unsigned counter;
    std::wstring base = widen(TARVEK_CLEANUP_WORK);
    CreateDirectoryW(base.c_str(), nullptr);
    path = base + L"\\" + tag + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
    CreateDirectoryW(path.c_str(), nullptr);
}

// The removal under test is also the one that can take long paths, odd
// names and links apart without harm; whatever it leaves, the build
// folder's own clean-up takes.
work_folder::~work_folder()
{
    remove_directory_tree(test_removal, path.c_str());
}

bool make_folder(const std::wstring &path)
{
    return CreateDirectoryW(long_form(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool make_file(const std::wstring &path, const std::string &content)
{
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        make_folder(path.substr(0, at));
    HANDLE file = CreateFileW(long_form(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
              written == content.size();
    CloseHandle(file);
    return ok;
}

bool exists(const std::wstring &path)
{
    return GetFileAttributesW(long_form(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void make_bulk_tree(const std::wstring &root, int files, size_t bytes)
{
    std::string content(bytes, 'b');
    for (int i = 0; i < files; ++i)
        make_file(root + L"\\d" + std::to_wstring(i / 50) + L"\\f" + std::to_wstring(i) + L".bin", content);
}

void aim_cleanup_at(const std::wstring &directory, bool started)
{
    copy_wide(target_directory, directory.c_str());
    extraction_started.store(started);
    child_process_handle.store(nullptr);
    deletion_requests_issued = 0;
}

aimed_target::aimed_target(const std::wstring &tag, int files, bool started)
    : work(tag), path(work.path + L"\\onefile_1_2_3")
{
    make_bulk_tree(path, files, 10);
    aim_cleanup_at(path, started);
}

started_process start_scenario(const char *name, const std::vector<std::wstring> &arguments)
{
    std::vector<std::wstring> line = {own_executable(), L"--scenario", widen(name)};
    line.insert(line.end(), arguments.begin(), arguments.end());
    std::wstring text = join_command_line(line);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    started_process process;
    process.started = CreateProcessW(own_executable().c_str(), text.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, nullptr, &startup, &process.info) != 0;
    return process;
}

stopwatch::stopwatch()
{
    QueryPerformanceCounter(&start);
}

double stopwatch::elapsed_ms() const
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}
