// Whether this process is the child of a waiting parent that runs the same
// executable, and what a process does to become the parent.
#pragma once

#include <windows.h>

// True only for the child of a waiting parent: TARVEK_ONEFILE_PARENT names a
// live process that started no later than this one, runs the same
// executable (its image path, normalised, equals this process's own) and
// created this process, or created the same executable's process that
// created this one (the application starting the launcher again); and the
// inherited TIME_US and RANDOM have the form a parent gives them. Where
// nothing of the named creator may be read, the file name the system lists
// it under stands for its image path. Every failure gives false.
bool detect_child_role();
// Drops inherited run identity tokens and names this process as the parent.
void become_parent();
// The launcher's directory: its own image path as reported, cut at the last
// backslash. Filled once.
const wchar_t *launcher_directory();

// How read_process_image got the path: from the main module's name (the
// process's memory), from the image name the system keeps, or not at all,
// because the process has ended or because it may not be read.
enum class process_image_source { module_name, image_name, ended, none };
// The image path of process `id` into `path` (image_path_capacity + 1
// units), as far as this process may read it; empty when it may not.
process_image_source read_process_image(DWORD id, wchar_t *path);
