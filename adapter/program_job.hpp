// The job that ends the program with the adapter's process. The job's one
// handle stays open in the adapter's process, never closed by it: the system
// closes it when that process ends, however it ends, and the job's
// kill-on-close limit then ends the program and every process it started
// that is still in the job. So a launcher child that the parent ends after
// its grace period, or that anything else ends, takes the program with it.
//
// Where the system refuses (no job can be made, or the process may not join
// one: before Windows 8 a process already in a job of the caller's cannot
// join a second one), the program runs without the job: it is the
// application, and running it matters more than ending it with the adapter.
// It then outlives an adapter's process ended from outside, and the unpacked
// folder it runs from stays behind while it runs.
#pragma once

#include <windows.h>

// Puts the process, created suspended, into a new job with kill-on-close,
// or leaves it where it is when the system refuses. The program may start
// processes outside the job (CREATE_BREAKAWAY_FROM_JOB), as it may when it
// is run without the launcher.
void join_ending_job(HANDLE process);
