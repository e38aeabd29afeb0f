// Writes the stored payload that a launcher carries (its layout in
// payload/payload_format.hpp; read back by payload/stored_payload.hpp):
//
//   magic | one Zstandard frame | zero padding to a multiple of 8 | u64le length
//
// The frame holds the decompressed stream: records (a UTF-16LE name with a
// zero unit, a u64le size, the content) and the end marker, an empty name.
// It carries no content size or dictionary ID, and its window is at most
// the largest the launcher's decompressor accepts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "payload/byte_source.hpp"
#include "payload/payload_format.hpp"

namespace tarvek {

// The smallest window Zstandard has, and the largest the launcher accepts.
constexpr unsigned smallest_window_log_allowed = 10;
constexpr unsigned largest_window_log_allowed = payload_max_window_log;

// One piece of the decompressed stream, in stream order.
struct stream_item {
    enum class kind {
        record,     // name, size, content
        raw,        // content bytes alone, outside any record (test fixtures)
        block_end,  // the compressed block ends here (test fixtures)
    };
    kind type = kind::record;
    std::u16string name;
    byte_source content;
};

stream_item record_item(std::u16string name, byte_source content);

struct payload_options {
    // 0: the smallest power of two that holds the whole stream (see below).
    unsigned window_log = 0;
    int level = 3;
    // Compression workers: 0 compresses in the calling thread, and a block
    // ends exactly at each block_end item; 1 or more gives the same frame
    // whatever the number.
    unsigned threads = 0;
    bool long_distance = false;
    bool end_marker = true;
    // Test fixtures: a content checksum in the frame, and a skippable frame
    // of this many bytes between the magic and the frame.
    bool checksum = false;
    uint32_t skippable_frame_size = 0;
    // When not empty, the decompressed stream is also written here.
    std::filesystem::path stream_copy;
    // Called as the work goes on: bytes of the stream compressed so far, and
    // the records that lie wholly within them. It may throw to stop the work.
    std::function<void(uint64_t stream_bytes, uint64_t records)> progress;
};

// Where everything went, in offsets from the payload's first byte.
struct payload_layout {
    uint64_t stream_size = 0;
    unsigned window_log = 0;
    uint64_t frame_offset = 0;
    uint64_t frame_size = 0;
    uint64_t padding = 0;
    uint64_t total = 0;
    // For each block_end item: the offset of the frame byte that follows it.
    std::vector<uint64_t> block_ends;
};

// Bytes of the decompressed stream, end marker included when asked for.
uint64_t stream_size(const std::vector<stream_item> &items, bool end_marker);

// The smallest power of two >= stream_size, as a log, within the window
// logs allowed. The launcher's decompressor allocates a window-sized
// buffer, so a small application should not cost every start the largest.
unsigned smallest_window_log(uint64_t stream_size);

// Writes the payload to `output`. Throws tool_error.
payload_layout write_payload(const std::vector<stream_item> &items, const payload_options &options,
                             const std::filesystem::path &output);

} // namespace tarvek
