// Console events while the program runs. The program shares the launcher's
// console (or has one of its own) and gets every event itself; it decides
// what an interrupt means. The adapter's process must not end on one before
// the program has: its end would end the program through the job
// (launcher/ending_job.hpp). The launcher's parent still ends a child that outlives
// its grace period, and with it the program.
#pragma once

#include <windows.h>

// From now on Ctrl-C and Ctrl-Break leave the adapter's process running; on
// close, log-off and shut-down it waits until `program` (once set) has
// ended, then leaves the event to the system, which ends the process. False
// when the system refuses the handler.
bool leave_console_events_to_the_program();

// The program to wait for on close, log-off and shut-down; its handle must
// stay open until the process ends.
void set_program_for_console_events(HANDLE program);

// Ends the above once the program has ended.
void take_back_console_events();
