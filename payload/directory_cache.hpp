// Directories already made or found during extraction: owned heap copies in
// the order they were added. The first entry is the expansion of "{HOME}",
// made on the first directory request. Never emptied; only
// create_directory_cached changes it, tests look at it.
#pragma once

#include <stdint.h>

constexpr int directory_cache_capacity = 1024;

// Creates one directory or accepts it as present; true when it can be taken
// to exist.
bool create_directory_cached(const wchar_t *directory);

extern wchar_t *directory_cache[directory_cache_capacity];
extern int32_t directory_cache_count;
