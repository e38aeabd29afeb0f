// Ending the child and removing the target directory: after a normal run, on
// console interrupt, break, close, log-off and shut-down, and at every
// failure exit of the parent.
#pragma once

#include <stdint.h>
#include <windows.h>

constexpr DWORD child_grace_ms = 5000;
constexpr UINT ended_child_exit_code = 0;
constexpr int deletion_retries = 20;
constexpr DWORD deletion_pause_ms = 100;

// Deletion requests issued by every clean-up of this process so far (for
// the tests of the retry schedule).
extern uint32_t deletion_requests_issued;

// Gives a running child 5000 ms, then ends it; lets go of the main library;
// removes the target directory once extraction has started, with up to 21
// deletion requests. Clean-ups
// run one at a time, and from the first one on nothing more is written into
// the target directory.
void onefile_cleanup();

// Console control handler of the parent: cleans up on the events that end
// the process, and always leaves the event to the next handler.
BOOL WINAPI console_ctrl_handler(DWORD event);

// Parent, on the main thread: from here on a failure exit
// (exit_after_failure, launcher/errors.hpp) and an abort at an internal
// limit clean up before the process ends, with the same message and exit
// code: the entry file being written is closed and onefile_cleanup runs,
// under the same lock as any other clean-up.
void clean_up_on_failure_exits();
