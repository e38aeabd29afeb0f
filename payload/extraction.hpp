// Unpacking of payload entries below the target directory, with a cache of
// directories already made or found.
#pragma once

#include <stddef.h>

#include "paths/text.hpp"

constexpr size_t entry_name_units = 1024;
constexpr size_t write_buffer_size = 32768;
constexpr int directory_cache_capacity = 1024;

enum class entry_loop_mode {
    unpack_all,        // the parent: every entry, up to the end marker, and
                       // the frame finished there (finish_payload)
    first_name_only,   // the child: stop once the main library path is known
};

// Runs the entry loop over the open reader. Fills `main_library_path` from the
// first entry (target directory, a backslash, the name) if it is empty.
// Returns false when the first name is already the end marker. Each entry is
// written under the target directory lock; once a clean-up has closed the
// directory the loop stops early, writing nothing more.
bool run_entry_loop(const wchar_t *target_directory, wide_path &main_library_path,
                    entry_loop_mode mode);

// Makes sure the directory that holds `file_path` exists. Reports nothing.
void ensure_parent_directories(const wchar_t *file_path);
// Creates one directory or accepts it as present; true when it can be taken
// to exist.
bool create_directory_cached(const wchar_t *directory);
