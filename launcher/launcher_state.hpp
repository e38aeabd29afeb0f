// Process-wide state of the launcher, shared by the main sequence, the child
// launch and the clean-up. All buffers start zeroed; an empty string is a
// value not computed yet.
#pragma once

#include <windows.h>

#include <atomic>

#include "paths/text.hpp"

// The path template of the target directory.
inline constexpr const wchar_t *target_directory_template =
    L"{TEMP}\\onefile_{PID}_{TIME_US}_{RANDOM}";

// Image paths are read with this capacity (characters, terminator not counted).
constexpr size_t image_path_capacity = 4097;
using image_path = wchar_t[image_path_capacity + 1];

// Absolute path of the directory the payload is unpacked into.
extern wide_path target_directory;
// Target directory, a backslash and the first entry's name.
extern wide_path main_library_path;
extern bool is_parent;
// State shared with the console handler's thread, and how it is handed over.
//
// extraction_started is set in the parent once it has made the target
// directory, just before the first entry is read; a clean-up removes the
// target directory only once it is set.
//
// child_process_handle is the slot for the running child. The main thread
// never shares the handle CreateProcessW gave it: it alone waits on it,
// reads the exit code and closes it. The slot holds a second handle to the
// same child, opened for waiting and ending only, and whichever thread
// takes it out with an exchange owns it: a clean-up waits on it, may end
// the child and closes it; the main thread, once its own wait is over, just
// closes it. Each handle thus has one user, is closed exactly once and never
// used after, without a lock. Whole clean-ups, each entry's extraction and
// the start of the child hold the target directory lock
// (payload/target_directory_lock.hpp) instead, which no holder keeps while
// waiting for another thread: two deletions never overlap, and once a
// clean-up has begun nothing is written and no child is started.
extern std::atomic<bool> extraction_started;
extern std::atomic<HANDLE> child_process_handle;
// Environment values, image paths of other processes, full paths.
extern wchar_t launcher_scratch[env_value_units];
