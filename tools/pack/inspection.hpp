// What tarvek-pack tells about a built launcher: the entries it carries,
// their files on the host, and whether its payload is whole.
#pragma once

#include <filesystem>

namespace tarvek {

struct inspection_options {
    bool quiet = false;    // no summary line, no progress
    bool progress = false; // a progress line on standard error
};

// Prints "SIZE  NAME" for every entry, then a summary line, what the
// launcher runs ("mode: main library", or "mode: runs PROGRAM" for one
// packed with --run) and its subsystem ("subsystem: windowed" or
// "subsystem: console").
void list_launcher(const std::filesystem::path &launcher, const inspection_options &options);

// Prints where the payload lies in the launcher and what it is, as
// "key value" lines: the file offsets of .rdata and of the payload (the
// same), the payload's stored length, the frame's offset in the payload
// and its size, the zero padding, the length field's value, the window
// (its log, the smallest N with 2^N >= the window, and its size in bytes),
// whether the frame has a content checksum (1 or 0), and, from decoding
// the whole stream, the number of entries, their content bytes and the
// stream's size; last the header's subsystem (2 windowed, 3 console). Throws tool_error, printing nothing, for a launcher whose
// payload is damaged.
void print_layout(const std::filesystem::path &launcher);

// Verifies the payload, then writes its entries below `directory`, which
// must not exist yet or be empty. Names that would not stay below it are
// refused before anything is written.
void extract_launcher(const std::filesystem::path &launcher, const std::filesystem::path &directory,
                      const inspection_options &options);

// Decodes the whole payload and checks everything a launcher relies on: the
// frame and its checksum, the records, the end marker with nothing after it,
// names Windows can hold, no two names one file on Windows, and the main
// library first, a DLL exporting run_code; when it is the adapter library
// of tarvek-pack --run, the program it runs among the files. Throws tool_error on the first
// problem; prints one line when all is well.
void verify_launcher(const std::filesystem::path &launcher, const inspection_options &options);

} // namespace tarvek
