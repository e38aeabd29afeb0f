// Directories already made or found during extraction: owned heap copies in
// the order they were added. The first entry is the expansion of "{HOME}",
// made on the first directory request. Never emptied; only
// create_directory_cached changes it, tests look at it.
#pragma once

#include <stdint.h>
#include <windows.h>

constexpr int directory_cache_capacity = 1024;

// Creates one directory or accepts it as present; true when it can be taken
// to exist.
bool create_directory_cached(const wchar_t *directory);

// Creates `directory` with the security attributes given, never taking one
// that exists, and remembers it. 0 when it was made, else the system's
// error (ERROR_ALREADY_EXISTS when the name is taken).
uint32_t create_new_directory_cached(const wchar_t *directory, SECURITY_ATTRIBUTES *security);

extern wchar_t *directory_cache[directory_cache_capacity];
extern int32_t directory_cache_count;
