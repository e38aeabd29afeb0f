#include "launcher/cleanup.hpp"

#include <windows.h>

#include <shellapi.h>

#include "launcher/launcher_state.hpp"
#include "paths/text.hpp"

// The target directory as a list of one path for the shell: the path, its
// terminator and a second terminator. Built apart from the target directory
// buffer, whose units after the terminator may hold an older, longer path.
static void delete_target_directory()
{
    wchar_t list[wide_path_units + 1] = {};
    append_wide(list, wide_path_units - 1, target_directory);
    constexpr SHFILEOPSTRUCTW request_template = {
        nullptr, FO_DELETE, nullptr, L"", FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI,
        FALSE, nullptr, L""};
    static_assert((FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI) == 0x0414);
    SHFILEOPSTRUCTW request = request_template;
    request.pFrom = list;
    SHFileOperationW(&request);
}

static bool target_directory_present()
{
    DWORD attributes = GetFileAttributesW(target_directory);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A child still in the slot belongs to a parent interrupted while waiting.
// Taking it out of the slot hands it to this thread: the main thread then
// leaves the handle alone. It is not closed here, because the main thread
// may still be waiting on it; the process ends once the handler returns.
static void end_child()
{
    HANDLE child = child_process_handle.exchange(nullptr);
    if (child == nullptr)
        return;
    if (WaitForSingleObject(child, child_grace_ms) != WAIT_OBJECT_0)
        TerminateProcess(child, 0);
}

void onefile_cleanup()
{
    end_child();
    if (!extraction_started.load())
        return;
    delete_target_directory();
    for (int pass = 0; pass < deletion_retries && target_directory_present(); ++pass) {
        Sleep(deletion_pause_ms);
        delete_target_directory();
    }
}

BOOL WINAPI console_ctrl_handler(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        onefile_cleanup();
        break;
    default:
        break;
    }
    return FALSE;
}
