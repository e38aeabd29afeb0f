// The stored payload as a launcher carries it, read back on the host:
//
//   magic | one Zstandard frame | zero padding | u64le length field
//
// (payload/payload_format.hpp, the launcher's own definition). The writer
// (payload/payload_writer.hpp) reports the same layout for what it wrote.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tarvek {

// Where the parts of a stored payload lie, in offsets from its first byte.
struct stored_layout {
    uint64_t frame_offset = 0;
    uint64_t frame_size = 0;
    uint64_t padding = 0;      // zero bytes between the frame and the length field
    uint64_t length_field = 0; // its offset, which is also its value
    uint64_t total = 0;        // the stored length, through the length field
    uint64_t window_size = 0;  // bytes, as the frame header declares it
    bool checksum = false;     // the frame carries a content checksum
};

struct stored_payload {
    std::span<const uint8_t> bytes; // the magic up to and including the length field
    std::span<const uint8_t> frame; // the Zstandard frame alone
    stored_layout layout;
};

// The stored payload at the start of `bytes`, a launcher's .rdata section,
// which goes on after it. Throws tool_error, naming `shown`, unless the magic, a frame whose header
// can be read, zero padding and a length field that counts the bytes before
// it fit together within `bytes`. The frame's blocks are not decoded.
stored_payload read_stored_payload(std::span<const uint8_t> bytes, const std::string &shown);

// The smallest N with 2^N >= `window_size`.
unsigned window_log_of(uint64_t window_size);

} // namespace tarvek
