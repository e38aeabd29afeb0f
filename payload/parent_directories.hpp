// The directories above an entry's file, made from the first one that exists
// or can be made downwards.
#pragma once

// Makes sure the directory that holds `file_path` exists. Reports nothing:
// a directory that cannot be made shows when the file's open fails.
void ensure_parent_directories(const wchar_t *file_path);
