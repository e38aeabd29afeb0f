// Writes the stored payload that a launcher carries (its layout in
// payload/payload_format.hpp; read back by payload/stored_payload.hpp):
//
//   magic | one Zstandard frame | zero padding to a multiple of 8 | u64le length
//
// The frame holds the decompressed stream: records (a UTF-16LE name with a
// zero unit, a u64le size, the content) and the end marker, an empty name.
// It carries a content checksum unless asked not to, never a content size
// or dictionary ID, and its window is at most the largest the launcher's
// decompressor accepts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "payload/payload_format.hpp"
#include "payload/stored_payload.hpp"

namespace tarvek {

// Zstandard's smallest window, and the largest the launcher accepts; why,
// for messages.
constexpr unsigned smallest_window_log_allowed = 10;
constexpr unsigned largest_window_log_allowed = payload_max_window_log;
inline constexpr const char *smallest_window_log_reason = "Zstandard's smallest window (1 KiB)";
inline constexpr const char *largest_window_log_reason = "the largest window the launcher accepts (128 MiB)";
static_assert(largest_window_log_allowed == 27, "the reason names its size");

struct frame_options {
    int level = 3;
    // Compression workers: 0 compresses in the calling thread, and a block
    // ends exactly where end_block asks; 1 or more gives the same frame
    // whatever the number.
    unsigned threads = 0;
    bool long_distance = false;
    bool checksum = true;
};

// A stored payload written front to back: the magic when it is made, the
// frame as the stream is fed to it, the padding and the length field when
// it is finished. Compressed bytes go straight to the file, so no input is
// ever held whole.
class payload_file {
public:
    // Makes `output` with a frame of window 2^window_log. `after_call` runs
    // after every call into the compressor. Throws tool_error.
    payload_file(const std::filesystem::path &output, const frame_options &options, unsigned window_log,
                 std::function<void()> after_call = {});
    ~payload_file();
    payload_file(const payload_file &) = delete;
    payload_file &operator=(const payload_file &) = delete;

    // Compresses the next bytes of the decompressed stream.
    void feed(std::string_view stream_bytes);
    // Ends the current compressed block, so that everything fed so far is in
    // the file; returns the file offset after the block.
    uint64_t end_block();
    // Bytes of the stream the compressor has compressed so far (it takes
    // input well ahead of that).
    uint64_t compressed() const;
    // Ends the frame, writes the padding and the length field, closes the
    // file; returns where everything went.
    stored_layout finish();

private:
    struct state;
    std::unique_ptr<state> state_;
};

// One file of the application, as a record of the stream.
struct payload_record {
    std::u16string name;
    std::filesystem::path file;
    uint64_t size = 0; // when the file was listed
};

// The bytes of the stream before a record's content: its name, the zero
// unit and the size.
std::string record_header(std::u16string_view name, uint64_t size);
// The end marker: an empty name.
std::string end_marker();

// Bytes of the decompressed stream, end marker included.
uint64_t stream_size(const std::vector<payload_record> &records);

// The smallest power of two >= stream_size, as a log, within the window
// logs allowed. The launcher's decompressor allocates a window-sized
// buffer, so a small application should not cost every start the largest.
unsigned smallest_window_log(uint64_t stream_size);

// Hands the bytes of `file` to `sink` in pieces of at most 1 MiB. Throws
// tool_error when it cannot be read or no longer has `size` bytes.
void read_file_pieces(const std::filesystem::path &file, uint64_t size,
                      const std::function<void(std::string_view)> &sink);

struct payload_options : frame_options {
    // 0: smallest_window_log of the stream.
    unsigned window_log = 0;
    // Called as the work goes on: bytes of the stream compressed so far, and
    // the records that lie wholly within them. It may throw to stop the work.
    std::function<void(uint64_t stream_bytes, uint64_t records)> progress;
};

// Writes the records and the end marker as a payload to `output`. Throws
// tool_error.
stored_layout write_payload(const std::vector<payload_record> &records, const payload_options &options,
                            const std::filesystem::path &output);

} // namespace tarvek
