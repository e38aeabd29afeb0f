// Trees to remove, processes to race with, and the clock, for the tests of
// the clean-up.
#pragma once

#include <stdint.h>
#include <windows.h>

#include <string>
#include <vector>

#include "launcher/tree_removal.hpp"
#include "tests/support/process.hpp"

// The tests' own walk for removing trees; the launcher's clean-up and sweep
// have theirs.
extern tree_removal test_removal;

// "\\?\" + path, for making and checking paths longer than MAX_PATH.
std::wstring long_form(const std::wstring &path);

// The longest path a test can make on the build drive: 4095 units, the
// limit of an entry path, or less where the system cannot take that many
// (Wine hands T:\x to Linux as $WINEPREFIX/dosdevices/t:/x, and Linux takes
// paths of at most 4095 bytes). Found by trying, once per process.
size_t longest_build_drive_path();

// A path of exactly `units` units: `base`, then folders of at most 200 units.
std::wstring path_of_length(const std::wstring &base, size_t units);

// A fresh folder below this build's cleanup test folder (on the build
// drive), removed with everything in it when the object goes.
struct work_folder {
    std::wstring path;
    explicit work_folder(const std::wstring &tag);
    ~work_folder();
    work_folder(const work_folder &) = delete;
    work_folder &operator=(const work_folder &) = delete;
};

// Makes the folders above `path` and writes `content` to it, through the
// long form. False when the platform refuses.
bool make_file(const std::wstring &path, const std::string &content = "x");
bool make_folder(const std::wstring &path);
// Present, asked through the long form.
bool exists(const std::wstring &path);

// `files` files of `bytes` bytes each, spread over folders of 50, below root.
void make_bulk_tree(const std::wstring &root, int files, size_t bytes);

// Points the launcher's state at `directory` for a clean-up: the target
// directory, extraction started or not, no child in the slot.
void aim_cleanup_at(const std::wstring &directory, bool extraction_started);

// A target directory of `files` small files (none: not made) in a fresh
// work folder, with the launcher's state aimed at it.
struct aimed_target {
    work_folder work;
    std::wstring path;
    aimed_target(const std::wstring &tag, int files, bool extraction_started = true);
};

// A process started and left running: this test program with a scenario.
struct started_process {
    PROCESS_INFORMATION info = {};
    bool started = false;
};
started_process start_scenario(const char *name, const std::vector<std::wstring> &arguments);

// Milliseconds since the object was made.
struct stopwatch {
    LARGE_INTEGER start;
    stopwatch();
    double elapsed_ms() const;
};
