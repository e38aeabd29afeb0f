// The campaign application: a small main library, without C++ runtime, that
// reports every file beside it with its size and FNV-1a 64 digest, so that
// the driver can tell intact files from altered ones, and returns 42.
//
// Report (appended to the file named by TARVEK_PROBE_REPORT):
//   entered=1
//   file=RELATIVE PATH (UTF-8)|SIZE|DIGEST (16 hex digits)
#include <windows.h>

namespace {

constexpr int campaign_exit_code = 42;

HANDLE report = INVALID_HANDLE_VALUE;
wchar_t root[4096];
size_t root_length;

void write_text(const char *text, size_t length)
{
    DWORD written = 0;
    WriteFile(report, text, static_cast<DWORD>(length), &written, nullptr);
}

void write_text(const char *text)
{
    write_text(text, lstrlenA(text));
}

void write_hex(unsigned long long value, int digits)
{
    char text[17];
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[i] = "0123456789abcdef"[value & 15];
    write_text(text, static_cast<size_t>(digits));
}

void write_decimal(unsigned long long value)
{
    char text[21];
    int at = 20;
    do {
        text[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    write_text(text + at, static_cast<size_t>(20 - at));
}

// Size and digest of one file; false if it cannot be read.
bool digest_file(const wchar_t *path, unsigned long long *size, unsigned long long *digest)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    static unsigned char chunk[65536];
    unsigned long long hash = 0xcbf29ce484222325ull;
    unsigned long long total = 0;
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i)
            hash = (hash ^ chunk[i]) * 0x100000001b3ull;
        total += got;
    }
    CloseHandle(file);
    *size = total;
    *digest = hash;
    return true;
}

void report_file(const wchar_t *path)
{
    unsigned long long size = 0;
    unsigned long long digest = 0;
    char name[4 * 4096];
    int length = WideCharToMultiByte(CP_UTF8, 0, path + root_length + 1, -1, name, sizeof name, nullptr, nullptr);
    write_text("file=");
    write_text(name, length > 0 ? static_cast<size_t>(length - 1) : 0);
    if (!digest_file(path, &size, &digest)) {
        write_text("|unreadable\n");
        return;
    }
    write_text("|");
    write_decimal(size);
    write_text("|");
    write_hex(digest, 16);
    write_text("\n");
}

// Walks the folder in `path` (a buffer of 4096 units, extended in place).
void report_folder(wchar_t *path)
{
    size_t length = static_cast<size_t>(lstrlenW(path));
    if (length + 3 >= 4096)
        return;
    lstrcpyW(path + length, L"\\*");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    path[length] = 0;
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const wchar_t *name = found.cFileName;
        if (lstrcmpW(name, L".") == 0 || lstrcmpW(name, L"..") == 0)
            continue;
        if (length + 1 + static_cast<size_t>(lstrlenW(name)) >= 4096)
            continue;
        path[length] = L'\\';
        lstrcpyW(path + length + 1, name);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            report_folder(path);
        else
            report_file(path);
        path[length] = 0;
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

} // namespace

extern "C" __declspec(dllexport) int run_code(int, wchar_t **, const wchar_t *library_path)
{
    wchar_t report_path[4096];
    DWORD n = GetEnvironmentVariableW(L"TARVEK_PROBE_REPORT", report_path, 4096);
    if (n == 0 || n >= 4096)
        return campaign_exit_code;
    report = CreateFileW(report_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (report == INVALID_HANDLE_VALUE)
        return campaign_exit_code;
    write_text("entered=1\n");
    lstrcpynW(root, library_path, 4096);
    wchar_t *last = root;
    for (wchar_t *c = root; *c != 0; ++c)
        if (*c == L'\\')
            last = c;
    *last = 0;
    root_length = static_cast<size_t>(lstrlenW(root));
    static wchar_t path[4096];
    lstrcpyW(path, root);
    report_folder(path);
    CloseHandle(report);
    return campaign_exit_code;
}
