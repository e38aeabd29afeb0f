// Starting a Windows process with chosen command line, environment and
// standard input, and collecting its exit code (all 32 bits) and its
// standard output and error.
#pragma once

#include <stdint.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Variables to set (value) or delete (nullopt), in order.
using environment_changes = std::vector<std::pair<std::wstring, std::optional<std::wstring>>>;

struct process_options {
    // Changes to this process's own environment for the child's.
    environment_changes environment;
    std::string standard_input;
    std::wstring current_directory;
    // The start-up information's wShowWindow, with STARTF_USESHOWWINDOW.
    std::optional<uint16_t> show_window;
    // Milliseconds before the process is ended and the test fails.
    uint32_t timeout_ms = 60000;
    // Starts the process in a job of its own, made with these limit flags
    // (JOB_OBJECT_LIMIT_...; the job ends everything in it when the run is
    // over), as a caller that runs its programs in jobs does.
    std::optional<uint32_t> job_limits;
    // Starts the process in a console of its own that has no window (under
    // Wine a console without a display), its standard handles those of the
    // console: nothing is captured then, and standard_input is not given.
    bool own_console = false;
};

struct process_result {
    uint32_t exit_code = 0;
    uint32_t process_id = 0;
    std::string out;
    std::string err;
    bool timed_out = false;
};

process_result run_process(const std::wstring &application, const std::wstring &command_line,
                           const process_options &options = {});

// This process's environment with the changes made, as a sorted block for
// CreateProcessW (CREATE_UNICODE_ENVIRONMENT).
std::wstring environment_block(const environment_changes &changes);

// Quotes one argument by the rules CommandLineToArgvW undoes.
std::wstring quote_argument(const std::wstring &argument);
std::wstring join_command_line(const std::vector<std::wstring> &arguments);

// A fresh empty directory under the temporary directory, and its removal
// with everything in it.
std::wstring make_temp_directory(const std::wstring &tag);
void remove_tree(const std::wstring &path);
// Every file below root, as a path relative to it with backslashes.
std::vector<std::wstring> files_in_tree(const std::wstring &root);
// Relative path -> size of every file below `root`.
std::map<std::wstring, unsigned long long> file_sizes_in_tree(const std::wstring &root);
bool path_exists(const std::wstring &path);
std::string read_file(const std::wstring &path);
// The lines of `text`, without their '\n'; no empty line after a last '\n'.
std::vector<std::string> split_lines(const std::string &text);
void write_file(const std::wstring &path, const std::string &content);

// This test program's own path.
std::wstring own_executable();

// abort() ends a process with 3 (or 0xC0000409 where fast-fail is used).
bool is_abort_exit(uint32_t exit_code);

std::wstring widen(const std::string &text);
std::string narrow(const std::wstring &text);
