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
// Set just before the first entry is read; the clean-up removes the target
// directory only once it is set. Read by the console handler's thread.
extern std::atomic<bool> extraction_started;
// The child while the parent waits for it. The main thread owns the handle
// and closes it; the console handler's thread may end the child through it.
extern std::atomic<HANDLE> child_process_handle;
// Environment values, image paths of other processes, full paths.
extern wchar_t launcher_scratch[env_value_units];
