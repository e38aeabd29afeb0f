// The job that ends a process with the one that started it: the launcher's
// child with the parent, and the program that the adapter library runs with
// the launcher's child. The job's one handle stays open in the starting
// process, never closed by it: the system closes it when that process ends,
// however it ends (a normal exit, a console event, TerminateProcess from
// outside), and the job's kill-on-close limit then ends the process put
// into it.
//
// Where the system refuses (no job can be made, or the process may not join
// one: a caller's job that forbids jobs of its own, or a system before
// Windows 8 with the starting process already in a job), the process runs
// without it: running the application matters more than ending it with its
// starter. It then outlives a starter ended from outside.
#pragma once

#include <windows.h>

// What the processes that the joined process starts may do:
// JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK, leave the job by themselves (the
// application's processes run on as they would without the launcher); or
// JOB_OBJECT_LIMIT_BREAKAWAY_OK, leave it when they ask to
// (CREATE_BREAKAWAY_FROM_JOB), as they may when the program runs without
// the launcher.
//
// Puts `process`, created suspended, into a new job with kill-on-close and
// that break-away limit, or leaves it where it is when the system refuses.
void join_ending_job(HANDLE process, DWORD breakaway_limit);
