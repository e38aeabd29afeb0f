// Whether this process is the child of a waiting parent that runs the same
// executable, and what a process does to become the parent.
#pragma once

// True only if TARVEK_ONEFILE_PARENT names a live process whose image path,
// normalised, equals this process's own. Every failure gives false.
bool detect_child_role();
// Drops inherited run identity tokens and names this process as the parent.
void become_parent();
// The launcher's directory: its own image path as reported, cut at the last
// backslash. Filled once.
const wchar_t *launcher_directory();
