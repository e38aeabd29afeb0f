// Fixture payloads, scratch folders, and what extraction leaves on disk.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/support/process.hpp"

constexpr const char *line_end = "\r\n"; // the C runtime's text-mode line end

// The fixed report lines, as they appear on standard output.
std::string printed(const char *message);
extern const std::string decode_failure;
extern const std::string header_failure;

std::string fixture_stored(const std::string &name);
std::string fixture_stream(const std::string &name);

// This test's build directory in the form that goes around Wine's limit on
// Unix path lengths: \\?\unix\... maps straight onto the Unix path, so a
// Windows path here costs as many bytes as it has units.
std::wstring unix_mapped_test_dir();

struct stream_record {
    std::wstring name;
    std::string content;
};
// The records of a decompressed stream up to its end marker, or up to its
// end when it has none.
std::vector<stream_record> parse_stream(const std::string &stream);

// Relative path (backslashes) -> content, for the records of a stream as
// extraction leaves them: a later record of the same name wins.
std::map<std::wstring, std::string> expected_files(const std::string &stream);
// Relative path -> content of every file below root; nothing for a root
// that does not exist.
std::map<std::wstring, std::string> files_below(const std::wstring &root);

// A fresh folder under the temporary directory, removed with its content
// at the end of the test.
struct scratch_folder {
    std::wstring path;
    scratch_folder();
    explicit scratch_folder(std::wstring existing);
    ~scratch_folder();
    scratch_folder(const scratch_folder &) = delete;
    scratch_folder &operator=(const scratch_folder &) = delete;
};

// Opens the reader over a fixture (or over its first `length` bytes); the
// bytes stay in memory until the process ends.
void open_fixture(const std::string &name, size_t length = std::string::npos);

// Extraction of a fixture into `target` in a process of its own: mode L"all"
// is the parent's loop, L"first" the child's. On success the process prints
// "found PATH" (the main library path) or "none", then
// "remembered N" (directories in the cache).
process_result extract(const std::string &fixture, const std::wstring &target, const wchar_t *mode = L"all");
// The output of a successful extraction whose main library is target\main.dll.
std::string found_main_library(const std::wstring &target, int remembered);
