// The progress line of long work on a terminal, and the byte counts and
// durations of summary lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tarvek {

// "1.5 KiB", "12.3 MiB", "1.02 GiB"; below 1 KiB in bytes.
std::string byte_count(uint64_t bytes);
// "0.4 s", "12.3 s", "3 min 05 s".
std::string duration_text(double seconds);

// One line on standard error, rewritten in place at most a few times a
// second: what is done, the rate, the time left. Prints nothing when not
// enabled (not a terminal, or --quiet).
class progress_line {
public:
    progress_line(bool enabled, std::string verb);
    ~progress_line();
    progress_line(const progress_line &) = delete;
    progress_line &operator=(const progress_line &) = delete;

    void update(uint64_t files_done, uint64_t files_total, uint64_t bytes_done, uint64_t bytes_total);
    void update_bytes(uint64_t bytes_done, uint64_t bytes_total);
    // Removes the line, so that what follows starts on a clean one.
    void clear();

private:
    void show(const std::string &counts, uint64_t bytes_done, uint64_t bytes_total);
    bool enabled_;
    std::string verb_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point shown_;
    size_t width_ = 0;
};

// True when standard error is a terminal: where a progress line belongs.
bool progress_wanted();

} // namespace tarvek
