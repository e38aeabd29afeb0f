// The entry loop: each payload record's name, path below the target
// directory, directories and file, in stream order.
#pragma once

#include <stddef.h>

#include "paths/text.hpp"

// A name of at most 1023 units and its terminator.
constexpr size_t entry_name_units = 1024;

enum class entry_loop_mode {
    unpack_all,        // the parent: every entry, up to the end marker, and
                       // the frame finished there (finish_payload)
    first_name_only,   // the child: stop once the main library path is known
};

// Runs the entry loop over the open reader. Fills `main_library_path` from the
// first entry (target directory, a backslash, the name) if it is empty.
// Returns false when the first name is already the end marker. Each entry is
// written under the target directory lock; once a clean-up has closed the
// directory the loop stops early, at the next chunk of the entry it is
// writing, and writes nothing more. Unpacking all, it
// holds the first entry's file, the main library, once written
// (payload/main_library_hold.hpp).
bool run_entry_loop(const wchar_t *target_directory, wide_path &main_library_path,
                    entry_loop_mode mode);
