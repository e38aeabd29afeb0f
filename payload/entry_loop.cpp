#include "payload/entry_loop.hpp"

#include <stdint.h>

#include "payload/entry_file.hpp"
#include "payload/main_library_hold.hpp"
#include "payload/parent_directories.hpp"
#include "payload/payload_format.hpp"
#include "payload/payload_reader.hpp"
#include "payload/target_directory_lock.hpp"

static_assert(entry_name_units == entry_name_max_units + 1);

// The current entry's name with its terminator, and its path below the
// target directory.
static wchar_t entry_name[entry_name_units];
static wide_path entry_path;

// Reads name units up to and including the zero unit. A name longer than the
// buffer holds is outside the format: damaged input.
static void read_entry_name()
{
    for (size_t i = 0;; ++i) {
        uint8_t bytes[2];
        read_payload(bytes, sizeof bytes);
        wchar_t unit = static_cast<wchar_t>(bytes[0] | bytes[1] << 8);
        if (i == entry_name_max_units && unit != 0)
            fail_payload_decode();
        entry_name[i] = unit;
        if (unit == 0)
            return;
    }
}

static uint64_t read_entry_size()
{
    uint8_t bytes[8];
    read_payload(bytes, sizeof bytes);
    uint64_t size = 0;
    for (size_t i = sizeof bytes; i > 0; --i)
        size = size << 8 | bytes[i - 1];
    return size;
}

// Target directory, one backslash (even after a trailing one), the name. A
// path that does not fit ends the process.
static void build_entry_path(const wchar_t *target_directory)
{
    copy_wide(entry_path, target_directory);
    append_wide(entry_path, L"\\");
    append_wide(entry_path, entry_name);
}

bool run_entry_loop(const wchar_t *target_directory, wide_path &main_library_path,
                    entry_loop_mode mode)
{
    for (bool first = true;; first = false) {
        read_entry_name();
        if (entry_name[0] == 0) {
            // Nothing starts from the files the parent wrote unless the frame
            // ends right here, whole and verified. The child reads no further
            // than the first name.
            if (mode == entry_loop_mode::unpack_all)
                finish_payload();
            return !first;
        }
        build_entry_path(target_directory);
        if (main_library_path[0] == 0)
            copy_wide(main_library_path, entry_path);
        // The child needs the main library's path and nothing of its record.
        if (mode == entry_loop_mode::first_name_only)
            return true;
        uint64_t size = read_entry_size();
        // A clean-up has begun and is removing the directory: write nothing
        // more, and leave this entry in the middle if it comes during it.
        if (!lock_target_directory_for_writing())
            return true;
        ensure_parent_directories(entry_path);
        bool whole = unpack_entry_file(entry_path, size);
        if (whole && first)
            hold_main_library(entry_path);
        unlock_target_directory();
        if (!whole)
            return true;
    }
}
