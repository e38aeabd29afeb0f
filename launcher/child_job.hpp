// The job that ends the child with the parent. Its one handle stays open in
// the parent, never closed by it: the system closes it when the parent ends,
// however it ends (a normal exit, a console event, TerminateProcess from
// outside), and the job's kill-on-close limit then ends the child. Processes
// that the application starts leave the job silently (silent break-away):
// they are the application's own, and run on as they would without the
// launcher.
//
// Where the system refuses (no job can be made, or the child may not join
// one: a caller's job that forbids jobs of its own, or a system before
// Windows 8 with the parent already in a job), the child runs without it:
// running the application matters more than ending it with the parent.
#pragma once

#include <windows.h>

// Puts the child, created suspended, into a new job with kill-on-close and
// silent break-away, or leaves it where it is when the system refuses.
void join_child_job(HANDLE child);
