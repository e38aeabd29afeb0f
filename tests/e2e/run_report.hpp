// Running a packed launcher around the probe application and reading what
// the probe reported; and running one in a console, reading that console.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/support/process.hpp"

struct probe_report {
    std::multimap<std::string, std::wstring> values;
    bool has(const std::string &key) const { return values.count(key) != 0; }
    std::wstring get(const std::string &key) const;
    std::vector<std::wstring> argv() const;
    // Relative path -> size, of the files beside the main library.
    std::map<std::wstring, unsigned long long> files() const;
};

probe_report parse_probe_report(const std::string &text);

// Arguments that only arrive whole if quoted exactly: empty, spaces, a tab
// and a line feed, quotes, backslashes before a quote and at the end,
// wildcards, characters outside ASCII and outside the BMP, percent signs.
const std::vector<std::wstring> &awkward_arguments();

struct launcher_run {
    process_result process;
    probe_report report;
    std::string report_text;
};

// A private temporary directory given to the launcher as TMP and TEMP, so
// that what it leaves behind can be seen; removed by the destructor.
struct private_temp {
    std::wstring path;
    private_temp();
    ~private_temp();
    // Names of the entries directly inside it.
    std::vector<std::wstring> entries() const;
};

// Runs `launcher` with the command line `arguments` (element 0 is what the
// user typed), the probe told to do `actions`, its temporary directory in
// `temp`.
launcher_run run_launcher(const std::wstring &launcher, const std::vector<std::wstring> &arguments,
                          const std::wstring &actions, const private_temp &temp,
                          process_options options = {});

// A launcher started from a console: a process of this test program with a
// console of its own (run_process's own_console) starts it there, inheriting
// that console's standard handles, waits for it, and reads the console's
// screen. What the launcher's application printed to the console it was
// started from is on that screen.
struct console_run {
    uint32_t exit_code = 0xFFFFFFFFu; // the launcher's, read by its starter
    std::string screen;               // the console's lines up to the cursor, right-trimmed, UTF-8
    probe_report report;
    std::string starter_err;          // what went wrong in the starter, if anything
};
console_run run_in_own_console(const std::wstring &launcher, const std::vector<std::wstring> &arguments,
                               const std::wstring &actions, const private_temp &temp);

// Runs `launcher` so, its probe told to print a line and exit with 7, and
// expects that line on the console's screen, the exit code, the probe's
// argument, and nothing left behind.
void expect_output_in_own_console(const std::wstring &launcher);
