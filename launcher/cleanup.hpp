// Ending the child and removing the target directory: after a normal run and
// on console interrupt, close, log-off and shut-down.
#pragma once

#include <windows.h>

constexpr DWORD child_grace_ms = 5000;
constexpr int deletion_retries = 20;
constexpr DWORD deletion_pause_ms = 100;

// Gives a running child 5000 ms, then ends it; removes the target directory
// once extraction has started, with up to 21 deletion requests.
void onefile_cleanup();

// Console control handler of the parent: cleans up on the events that end
// the process, and always leaves the event to the next handler.
BOOL WINAPI console_ctrl_handler(DWORD event);
