// The one lock on the target directory. The main thread writes into the
// directory (one payload entry at a time) and starts the child that uses it;
// a clean-up, on the main thread after the run or on the console handler's
// thread at any moment, ends the child and removes the directory. The lock
// keeps these apart, and the first clean-up closes the directory for good:
// nothing is written and no child is started once a clean-up has begun, so a
// removal is never undone behind its back.
//
// A holder never waits for another thread while it holds the lock (writing
// one entry, starting the child, ending the child within its grace period,
// removing the directory are all bounded), so nobody can deadlock on it.
#pragma once

// Takes the lock for writing one entry or starting the child. False, without
// the lock, once the directory has been closed by a clean-up.
bool lock_target_directory_for_writing();

// Takes the lock for a clean-up, after any write, start or other clean-up in
// progress, and closes the directory to writing.
void lock_target_directory_for_cleanup();

void unlock_target_directory();
