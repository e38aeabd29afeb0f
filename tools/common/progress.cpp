#include "common/progress.hpp"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>

namespace tarvek {

namespace {

constexpr auto redraw_interval = std::chrono::milliseconds(200);

} // namespace

std::string byte_count(uint64_t bytes)
{
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%" PRIu64 " bytes", bytes);
    else if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    else if (bytes < uint64_t{1} << 30)
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / 1048576.0);
    else
        std::snprintf(text, sizeof text, "%.2f GiB", bytes / 1073741824.0);
    return text;
}

std::string duration_text(double seconds)
{
    char text[32];
    if (seconds < 60)
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    else
        std::snprintf(text, sizeof text, "%d min %02d s", static_cast<int>(seconds) / 60,
                      static_cast<int>(seconds) % 60);
    return text;
}

bool progress_wanted() { return ::isatty(STDERR_FILENO) == 1; }

progress_line::progress_line(bool enabled, std::string verb)
    : enabled_(enabled), verb_(std::move(verb)), start_(std::chrono::steady_clock::now()), shown_(start_)
{
}

progress_line::~progress_line() { clear(); }

void progress_line::update(uint64_t files_done, uint64_t files_total, uint64_t bytes_done, uint64_t bytes_total)
{
    show(std::to_string(files_done) + "/" + std::to_string(files_total) + " files, ", bytes_done, bytes_total);
}

void progress_line::update_bytes(uint64_t bytes_done, uint64_t bytes_total) { show("", bytes_done, bytes_total); }

void progress_line::show(const std::string &counts, uint64_t bytes_done, uint64_t bytes_total)
{
    if (!enabled_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - shown_ < redraw_interval)
        return;
    shown_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double rate = elapsed > 0 ? bytes_done / elapsed : 0;
    std::string line = verb_ + " " + counts + byte_count(bytes_done) + " of " + byte_count(bytes_total);
    if (rate > 0) {
        line += ", " + byte_count(static_cast<uint64_t>(rate)) + "/s";
        if (bytes_total > bytes_done)
            line += ", " + duration_text((bytes_total - bytes_done) / rate) + " left";
    }
    const size_t width = line.size();
    if (width < width_)
        line.append(width_ - width, ' ');
    width_ = width;
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
}

void progress_line::clear()
{
    if (!enabled_ || width_ == 0)
        return;
    std::fprintf(stderr, "\r%s\r", std::string(width_, ' ').c_str());
    std::fflush(stderr);
    width_ = 0;
}

} // namespace tarvek
