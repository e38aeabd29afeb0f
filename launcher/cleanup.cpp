#include "launcher/cleanup.hpp"

#include <signal.h>

#include "launcher/errors.hpp"
#include "launcher/launcher_state.hpp"
#include "launcher/tree_removal.hpp"
#include "paths/unique_handle.hpp"
#include "payload/entry_file.hpp"
#include "payload/main_library_hold.hpp"
#include "payload/target_directory_lock.hpp"

uint32_t deletion_requests_issued;

// The clean-ups' own walk: they run one at a time, under the lock.
static tree_removal cleanup_removal;

// Takes the shared handle out of the slot, so that this clean-up alone uses
// and closes it; a child already handed over is left to whoever has it.
static void end_child()
{
    unique_handle child(child_process_handle.exchange(nullptr));
    if (!child)
        return;
    if (WaitForSingleObject(child.get(), child_grace_ms) != WAIT_OBJECT_0)
        TerminateProcess(child.get(), ended_child_exit_code);
}

static void issue_deletion_request()
{
    ++deletion_requests_issued;
    remove_directory_tree(cleanup_removal, target_directory);
}

// Success is the directory being gone; what a request achieved is not asked.
static void remove_target_directory()
{
    issue_deletion_request();
    for (int pass = 0; pass < deletion_retries && directory_exists(cleanup_removal, target_directory); ++pass) {
        Sleep(deletion_pause_ms);
        issue_deletion_request();
    }
}

void onefile_cleanup()
{
    lock_target_directory_for_cleanup();
    end_child();
    release_main_library();
    if (extraction_started.load())
        remove_target_directory();
    unlock_target_directory();
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

// Failures are reported on the main thread alone, the one that writes the
// entries: the file it may be in the middle of is its own to close. A
// clean-up begun on the console handler's thread is waited for, and then
// finds nothing left to remove.
static void clean_up_before_failure_exit()
{
    close_entry_file();
    onefile_cleanup();
}

// Runs before abort ends the process; the handler is then the default one
// again, so an abort during the clean-up ends the process at once.
static void clean_up_before_abort(int)
{
    clean_up_before_failure_exit();
}

void clean_up_on_failure_exits()
{
    set_failure_cleanup(clean_up_before_failure_exit);
    signal(SIGABRT, clean_up_before_abort);
}
