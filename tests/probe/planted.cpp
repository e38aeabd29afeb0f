// A library planted where a launcher must never load one from: beside its
// executable (as shcore.dll or helper.dll), or as main.dll in a folder that
// someone else made. Loading it leaves a file named after it with ".loaded"
// appended beside it. It has no run_code.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void *)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t marker[MAX_PATH + 16];
    DWORD length = GetModuleFileNameW(self, marker, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    lstrcatW(marker, L".loaded");
    HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return TRUE;
}
