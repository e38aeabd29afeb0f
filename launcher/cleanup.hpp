// Ending the child and removing the target directory: after a normal run and
// on console interrupt, break, close, log-off and shut-down.
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
