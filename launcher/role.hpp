// Whether this process is the child of a waiting parent that runs the same
// executable, and what a process does to become the parent.
#pragma once

#include <windows.h>

// True only if TARVEK_ONEFILE_PARENT names a live process whose image path,
// normalised, equals this process's own; where no image path of that process
// can be read at all, true only if that process created this one. Every
// other failure gives false.
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

enum class creator_answer { yes, no, unknown };
// Whether process `id` is alive and created this process, from the system's
// list of processes; needs no access to that process.
creator_answer process_created_this_one(DWORD id);
