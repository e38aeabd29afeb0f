#include "pack/inspection.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "common/error.hpp"
#include "common/mapped_file.hpp"
#include "common/progress.hpp"
#include "common/utf.hpp"
#include "pack/launcher_payload.hpp"
#include "pack/main_library.hpp"
#include "pack/run_program.hpp"
#include "payload/folder_records.hpp"
#include "payload/payload_records.hpp"
#include "payload/windows_names.hpp"

namespace tarvek {

namespace fs = std::filesystem;

namespace {

// Largest main library that --verify holds in memory to check its exports.
constexpr uint64_t largest_checked_library = uint64_t{1} << 30;

std::string checksum_note(const stored_payload &payload)
{
    return payload.layout.checksum ? "content checksum" : "no content checksum";
}

// The first record's bytes, the main library, as a walk over the records
// goes by; kept whole up to largest_checked_library.
struct main_library_copy {
    std::string bytes;
    uint64_t index = 0;
    bool whole = true;

    void begin(uint64_t size)
    {
        ++index;
        if (index == 1 && size > largest_checked_library)
            whole = false;
    }
    void content(std::span<const uint8_t> piece)
    {
        if (index == 1 && whole)
            bytes.append(reinterpret_cast<const char *>(piece.data()), piece.size());
    }
    std::span<const uint8_t> span() const
    {
        return {reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()};
    }
};

// What the launcher runs: "main library", or "runs PROGRAM" when its main
// library is the adapter library of tarvek-pack --run. A main library that
// cannot be read as one is told by --verify; here it is a main library.
std::string mode_text(const main_library_copy &library, const std::string &shown)
{
    if (library.index == 0 || !library.whole)
        return "main library";
    try {
        if (std::optional<std::u16string> program = program_run_by(library.span(), shown + ": main.dll"))
            return "runs " + printable(utf16_to_utf8(*program));
    } catch (const tool_error &) {
    }
    return "main library";
}

record_visitor with_progress(record_visitor visitor, progress_line &line, const stored_payload &payload)
{
    visitor.progress = [&line, &payload](uint64_t done) { line.update_bytes(done, payload.frame.size()); };
    return visitor;
}

// Everything verify_launcher checks, with the launcher already mapped.
payload_totals verify_payload(const stored_payload &payload, const std::string &shown, progress_line &line)
{
    std::set<std::u16string> folded_files;
    std::set<std::u16string> folded_folders;
    main_library_copy main_library;
    uint64_t index = 0;
    std::string record_shown;
    record_visitor visitor;
    visitor.begin = [&](const std::u16string &name, uint64_t size) {
        ++index;
        record_shown = shown + ": record " + std::to_string(index) + " '" + printable(utf16_to_utf8(name)) + "'";
        if (index == 1 && name != main_library_name)
            throw tool_error(record_shown + ": the first record must be main.dll, the main library");
        if (std::optional<std::string> problem = entry_name_problem(name))
            throw tool_error(record_shown + ": " + *problem);
        std::u16string folded = case_folded(name);
        if (!folded_files.insert(folded).second || folded_folders.count(folded))
            throw tool_error(record_shown + ": names an earlier file or folder again (on Windows, letter case "
                                            "aside): one would overwrite the other");
        for (size_t at = folded.find(u'\\'); at != std::u16string::npos; at = folded.find(u'\\', at + 1)) {
            if (folded_files.count(folded.substr(0, at)))
                throw tool_error(record_shown + ": a folder on its way is an earlier file");
            folded_folders.insert(folded.substr(0, at));
        }
        main_library.begin(size);
        if (!main_library.whole)
            throw tool_error(record_shown + ": larger than the " + std::to_string(largest_checked_library) +
                             " bytes that are checked");
    };
    visitor.content = [&](std::span<const uint8_t> piece) { main_library.content(piece); };
    payload_totals totals = walk_records(payload, with_progress(visitor, line, payload), shown);
    line.clear();
    if (totals.files == 0)
        throw tool_error(shown + ": the payload holds no records: no main library");
    check_main_library(main_library.span(), shown + ": main.dll");
    // The program a launcher packed with --run starts must be among the
    // files (on Windows in any letter case).
    if (std::optional<std::u16string> program = program_run_by(main_library.span(), shown + ": main.dll"))
        if (!folded_files.count(case_folded(*program)))
            throw tool_error(shown + ": main.dll runs '" + printable(utf16_to_utf8(*program)) +
                             "', which the payload does not hold");
    return totals;
}

std::string shown_path(const fs::path &path) { return printable(path.string()); }

// Extraction target: a new folder, or an empty one.
void prepare_directory(const fs::path &directory)
{
    std::error_code error;
    if (fs::exists(fs::symlink_status(directory, error))) {
        if (!fs::is_directory(fs::symlink_status(directory, error)))
            throw tool_error(shown_path(directory) + ": exists and is not a folder");
        if (!fs::is_empty(directory, error) || error)
            throw tool_error(shown_path(directory) + ": not empty; extract into a new or empty folder");
        return;
    }
    fs::create_directories(directory, error);
    if (error)
        throw tool_error(shown_path(directory) + ": cannot create it: " + error.message());
}

// The host path of an entry name already checked by entry_name_problem:
// every component is a plain name, so it stays below `directory`.
fs::path host_path(const fs::path &directory, const std::u16string &name)
{
    fs::path path = directory;
    size_t start = 0;
    for (;;) {
        size_t end = name.find(u'\\', start);
        path /= utf16_to_utf8(name.substr(start, end == std::u16string::npos ? end : end - start));
        if (end == std::u16string::npos)
            return path;
        start = end + 1;
    }
}

class extracted_file {
public:
    void open(const fs::path &path)
    {
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        if (error)
            throw tool_error(shown_path(path.parent_path()) + ": cannot create it: " + error.message());
        // The folder was empty and only plain names are made in it, so no
        // link can be on the way; refuse one all the same.
        descriptor_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (descriptor_ < 0)
            throw tool_error(shown_path(path) + ": cannot write it: " + std::strerror(errno));
        path_ = path;
    }
    void write(std::span<const uint8_t> piece)
    {
        while (!piece.empty()) {
            ssize_t n = ::write(descriptor_, piece.data(), piece.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw tool_error(shown_path(path_) + ": cannot write it: " + std::strerror(errno));
            piece = piece.subspan(static_cast<size_t>(n));
        }
    }
    void close()
    {
        if (descriptor_ >= 0 && ::close(descriptor_) != 0)
            throw tool_error(shown_path(path_) + ": cannot write it: " + std::strerror(errno));
        descriptor_ = -1;
    }
    ~extracted_file()
    {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }

private:
    int descriptor_ = -1;
    fs::path path_;
};

} // namespace

void list_launcher(const fs::path &launcher, const inspection_options &options)
{
    mapped_file file(launcher);
    const std::string shown = shown_path(launcher);
    const launcher_payload found = locate_payload(file.bytes(), shown);
    const stored_payload &payload = found.stored;
    main_library_copy main_library;
    record_visitor visitor;
    visitor.begin = [&main_library](const std::u16string &name, uint64_t size) {
        main_library.begin(size);
        std::printf("%14" PRIu64 "  %s\n", size, printable(utf16_to_utf8(name)).c_str());
    };
    visitor.content = [&main_library](std::span<const uint8_t> piece) { main_library.content(piece); };
    payload_totals totals = walk_records(payload, visitor, shown);
    if (!options.quiet)
        std::printf("%" PRIu64 " files, %s; stored in %s, %s\nmode: %s\nsubsystem: %s\n", totals.files,
                    byte_count(totals.content_bytes).c_str(), byte_count(payload.bytes.size()).c_str(),
                    checksum_note(payload).c_str(), mode_text(main_library, shown).c_str(),
                    subsystem_name(found.subsystem).c_str());
}

void print_layout(const fs::path &launcher)
{
    mapped_file file(launcher);
    const std::string shown = shown_path(launcher);
    const launcher_payload found = locate_payload(file.bytes(), shown);
    const stored_layout &layout = found.stored.layout;
    const payload_totals totals = walk_records(found.stored, {}, shown);
    std::printf("rdata_offset %" PRIu64 "\npayload_offset %" PRIu64 "\npayload_size %" PRIu64
                "\nframe_offset %" PRIu64 "\nframe_size %" PRIu64 "\npadding %" PRIu64 "\nlength_field %" PRIu64
                "\nwindow_log %u\nwindow_size %" PRIu64 "\nchecksum %d\nentries %" PRIu64 "\ncontent_size %" PRIu64
                "\nstream_size %" PRIu64 "\nsubsystem %u\n",
                found.offset, found.offset, layout.total, layout.frame_offset, layout.frame_size, layout.padding,
                layout.length_field, window_log_of(layout.window_size), layout.window_size, layout.checksum ? 1 : 0,
                totals.files, totals.content_bytes, totals.stream_bytes, unsigned{found.subsystem});
}

void verify_launcher(const fs::path &launcher, const inspection_options &options)
{
    mapped_file file(launcher);
    const std::string shown = shown_path(launcher);
    const stored_payload payload = locate_payload(file.bytes(), shown).stored;
    progress_line line(options.progress && !options.quiet, "verifying");
    payload_totals totals = verify_payload(payload, shown, line);
    if (!options.quiet)
        std::printf("%s: payload whole: %" PRIu64 " files, %s, %s%s\n", shown.c_str(), totals.files,
                    byte_count(totals.content_bytes).c_str(), checksum_note(payload).c_str(),
                    payload.layout.checksum ? " matches" : " (packed with --no-checksum: content not verified)");
}

void extract_launcher(const fs::path &launcher, const fs::path &directory, const inspection_options &options)
{
    mapped_file file(launcher);
    const std::string shown = shown_path(launcher);
    const stored_payload payload = locate_payload(file.bytes(), shown).stored;
    progress_line line(options.progress && !options.quiet, "checking");
    verify_payload(payload, shown, line);

    prepare_directory(directory);
    progress_line writing(options.progress && !options.quiet, "extracting");
    extracted_file current;
    record_visitor visitor;
    visitor.begin = [&](const std::u16string &name, uint64_t) {
        current.close();
        current.open(host_path(directory, name));
    };
    visitor.content = [&](std::span<const uint8_t> piece) { current.write(piece); };
    payload_totals totals = walk_records(payload, with_progress(visitor, writing, payload), shown);
    current.close();
    writing.clear();
    if (!options.quiet)
        std::printf("extracted %" PRIu64 " files, %s, into %s\n", totals.files,
                    byte_count(totals.content_bytes).c_str(), shown_path(directory).c_str());
}

} // namespace tarvek
