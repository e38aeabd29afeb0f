// Times an interrupt during a large entry: starts a launcher in a console of
// its own with TEMP set, waits until it is writing the entry NAME below its
// target directory, sends Ctrl-C to the console and prints, as "key value"
// lines, how far the entry was at the event, how far it got, and how long
// after the event the target directory was gone and the launcher had ended.
//
//   interrupt_timer LAUNCHER TEMP NAME
#include <stdio.h>
#include <windows.h>

#include <string>

namespace {

BOOL WINAPI ignore_console_events(DWORD)
{
    return TRUE;
}

std::wstring target_directory(const std::wstring &temp)
{
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW((temp + L"\\onefile_*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE)
        return {};
    FindClose(listing);
    return temp + L"\\" + found.cFileName;
}

unsigned long long file_size(const std::wstring &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return static_cast<unsigned long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

double milliseconds_since(const LARGE_INTEGER &start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: interrupt_timer LAUNCHER TEMP NAME\n");
        return 2;
    }
    const std::wstring launcher = argv[1], temp = argv[2], name = argv[3];
    // The entry's second name keeps its size readable once the folder is gone.
    const std::wstring link = temp + L"\\entry-link";
    FreeConsole();
    if (!AllocConsole()) {
        fprintf(stderr, "interrupt_timer: no console of its own\n");
        return 1;
    }
    SetConsoleCtrlHandler(ignore_console_events, TRUE);
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION parent = {};
    std::wstring line = L"launcher";
    if (!CreateProcessW(launcher.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &parent)) {
        fprintf(stderr, "interrupt_timer: cannot start %ls\n", launcher.c_str());
        return 1;
    }
    std::wstring target;
    DWORD waited = 0;
    for (; waited < 30000; ++waited, Sleep(1)) {
        if (target.empty())
            target = target_directory(temp);
        // Fails until the entry exists, and once the link is made.
        if (!target.empty())
            CreateHardLinkW(link.c_str(), (target + L"\\" + name).c_str(), nullptr);
        if (file_size(link) > 0)
            break;
    }
    if (waited == 30000) {
        fprintf(stderr, "interrupt_timer: the launcher never wrote %ls\n", name.c_str());
        TerminateProcess(parent.hProcess, 1);
        return 1;
    }
    unsigned long long at_event = file_size(link);
    LARGE_INTEGER event;
    QueryPerformanceCounter(&event);
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    double folder_gone = -1;
    while (WaitForSingleObject(parent.hProcess, 0) == WAIT_TIMEOUT && folder_gone < 0) {
        if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES)
            folder_gone = milliseconds_since(event);
        Sleep(1);
    }
    WaitForSingleObject(parent.hProcess, INFINITE);
    double ended = milliseconds_since(event);
    if (folder_gone < 0 && GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES)
        folder_gone = ended;
    printf("entry_bytes_at_event %llu\nentry_bytes_written %llu\nfolder_gone_ms %.0f\nlauncher_ended_ms %.0f\n",
           at_event, file_size(link), folder_gone, ended);
    DeleteFileW(link.c_str());
    return 0;
}
