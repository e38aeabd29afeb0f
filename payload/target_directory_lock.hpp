// The one lock on the target directory. The main thread writes into the
// directory (one payload entry at a time) and starts the child that uses it;
// a clean-up, on the main thread after the run or at a failure exit, or on
// the console handler's thread at any moment, ends the child and removes the
// directory. The lock keeps these apart, and the first clean-up closes the
// directory for good: nothing is written and no child is started once a
// clean-up has begun, so a removal is never undone behind its back.
//
// A clean-up closes the directory before it waits for the lock: the writer
// sees that between two chunks of an entry (payload/entry_file.hpp), closes
// its file and gives the lock up, so that the wait never lasts as long as a
// large entry takes to write. Every other holder keeps the lock for a
// bounded time and never waits for another thread while it holds it
// (starting the child, ending the child within its grace period, removing
// the directory), so nobody can deadlock on it.
#pragma once

// Takes the lock for writing one entry or starting the child. False, without
// the lock, once the directory has been closed by a clean-up.
bool lock_target_directory_for_writing();

// True once a clean-up has closed the directory: the holder that writes
// stops at its next chunk and gives the lock up.
bool target_directory_closed();

// Closes the directory to writing, then takes the lock, after any write,
// start or other clean-up in progress. A thread that holds the lock already
// (a failure exit in the middle of an entry) keeps it and goes on.
void lock_target_directory_for_cleanup();

void unlock_target_directory();
