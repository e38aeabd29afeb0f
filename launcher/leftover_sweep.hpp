// The folders that ended runs left in the temporary folder: a parent ended
// from outside (its clean-up never ran), a clean-up or a sweep cut short by
// the end of its process, a file held open longer than the clean-up's
// retries. Once its child has started, every parent looks at a few of the
// folders beside its own target directory, on a thread of its own at
// background priority, and removes those whose run is over, with the tree
// removal of the clean-up (launcher/tree_removal.hpp), one deletion request
// each. A folder whose request leaves something is taken up again by a later
// run.
//
// A folder is taken only when all of this holds:
// - its name is exactly that of a target directory: "onefile_", a decimal
//   process id (no leading zero), "_", six digits, "_" and eleven base64url
//   characters; it is a directory, not a link or other reparse point; it is
//   not this run's own;
// - the process its name names has ended, or the id now names a process
//   created after the folder was (the system gave the id anew). A live
//   process created before the folder is taken for the parent that made it,
//   whatever its image: a launcher's file name is its application's own, so
//   the image cannot tell a launcher from another program. A process that
//   may not be queried at all counts as live;
// - its main library, main.dll (the first entry of every payload that
//   tarvek-pack writes), can be opened for deletion with no sharing at all:
//   neither a parent (which holds it from the moment it is written until its
//   clean-up) nor a child (which holds it while the application runs) has
//   it open, and no process has it mapped as an image. A folder without
//   main.dll belongs to a parent ended before it had written it, or to a
//   removal cut short after it had taken main.dll: either way no launcher of
//   that run is alive (only its parent writes into it, and the parent has
//   ended), and none holds main.dll, so no child runs from there.
//
// The sweep is bounded: it looks at no more than sweep_folders_looked_at
// folders named like target directories, removes no more than
// sweep_folders_removed, starts no folder after sweep_budget_ms, and stops
// at the next folder once this run's clean-up has begun. It never delays the
// parent's exit: the end of the process ends the thread, wherever it is.
#pragma once

#include <stdint.h>
#include <windows.h>

constexpr int sweep_folders_looked_at = 32;
constexpr int sweep_folders_removed = 4;
constexpr ULONGLONG sweep_budget_ms = 2000;

// Parent, after its child has started: sweeps the folder that holds the
// target directory on a thread of its own. Nothing happens when the thread
// cannot be made.
void start_leftover_sweep();

// The sweep itself, on the calling thread: the folders left in `folder` (a
// full path) by ended runs, other than the one named `own_name`. Returns the
// number of folders it made a deletion request for.
int sweep_leftover_folders(const wchar_t *folder, const wchar_t *own_name);

// Whether `name` is exactly a target directory's name; its process id into
// `process_id` when it is.
bool parse_run_folder_name(const wchar_t *name, DWORD &process_id);
