// What removing the target directory costs: the shell's deletion request
// that the clean-up used to issue, against the tree removal it issues now.
//
//   cleanup_time_bench WORK_FOLDER FILES,MEGABYTES...
//
// For each size, makes a tree of FILES files holding MEGABYTES * 10^6 bytes
// together, in folders of 50, below WORK_FOLDER; removes it with one
// request of each kind (a fresh tree each time); prints one line per size:
//   FILES MEGABYTES SHELL_SECONDS SHELL_LEFT TREE_SECONDS TREE_LEFT
// where *_LEFT is 1 when the directory was still there afterwards.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "launcher/tree_removal.hpp"

namespace {

double seconds_now()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool make_tree(const std::wstring &root, long files, long megabytes)
{
    std::vector<char> content(static_cast<size_t>(megabytes * 1000000 / files), 'c');
    if (!CreateDirectoryW(root.c_str(), nullptr))
        return false;
    for (long i = 0; i < files; ++i) {
        std::wstring folder = root + L"\\d" + std::to_wstring(i / 50);
        CreateDirectoryW(folder.c_str(), nullptr);
        HANDLE file = CreateFileW((folder + L"\\f" + std::to_wstring(i) + L".bin").c_str(), GENERIC_WRITE, 0,
                                  nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        bool ok = file != INVALID_HANDLE_VALUE &&
                  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(file);
        if (!ok)
            return false;
    }
    return true;
}

// The request as the clean-up issued it before: the shell's deletion of a
// list of one path, silent, without confirmation or error dialog.
void shell_request(const std::wstring &root)
{
    std::wstring list = root + L'\0';
    SHFILEOPSTRUCTW request = {nullptr, FO_DELETE, list.c_str(), L"",
                               FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI, FALSE, nullptr, L""};
    SHFileOperationW(&request);
}

void tree_request(const std::wstring &root)
{
    remove_directory_tree(root.c_str());
}

// What the removal would cost without any of its care: a recursive walk
// that deletes every file by its path (what the bench's limit does). It
// follows links and stops at nothing; it is here only for its time.
void plain_walk(const std::wstring &folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                plain_walk(folder + L"\\" + name);
            else
                DeleteFileW((folder + L"\\" + name).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// Seconds one request took, and whether the tree was still there.
bool time_request(const std::wstring &root, long files, long megabytes, void (*request)(const std::wstring &),
                  double *seconds, bool *left)
{
    if (!make_tree(root, files, megabytes))
        return false;
    double start = seconds_now();
    request(root);
    *seconds = seconds_now() - start;
    *left = GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (*left)
        remove_directory_tree(root.c_str());
    return true;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: cleanup_time_bench WORK_FOLDER FILES,MEGABYTES...\n");
        return 2;
    }
    std::wstring root = std::wstring(argv[1]) + L"\\tree";
    for (int i = 2; i < argc; ++i) {
        long files = 0, megabytes = 0;
        if (swscanf(argv[i], L"%ld,%ld", &files, &megabytes) != 2 || files <= 0 || megabytes < 0) {
            fprintf(stderr, "cleanup_time_bench: not FILES,MEGABYTES: %ls\n", argv[i]);
            return 2;
        }
        double shell_seconds = 0, tree_seconds = 0, plain_seconds = 0;
        bool shell_left = false, tree_left = false, plain_left = false;
        if (!time_request(root, files, megabytes, shell_request, &shell_seconds, &shell_left) ||
            !time_request(root, files, megabytes, tree_request, &tree_seconds, &tree_left) ||
            !time_request(root, files, megabytes, plain_walk, &plain_seconds, &plain_left)) {
            fprintf(stderr, "cleanup_time_bench: could not make the tree below %ls\n", argv[1]);
            return 1;
        }
        printf("%ld %ld %.3f %d %.3f %d %.3f %d\n", files, megabytes, shell_seconds, shell_left, tree_seconds,
               tree_left, plain_seconds, plain_left);
        fflush(stdout);
    }
    return 0;
}
