// The records of a launcher's payload, decoded on the host as the launcher
// decodes them: the Zstandard frame with the launcher's window limit, the
// records up to the end marker, and the frame finished right after it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "payload/stored_payload.hpp"

namespace tarvek {

// What a walk over the records sees. Content comes in pieces, in order.
struct record_visitor {
    std::function<void(const std::u16string &name, uint64_t size)> begin;
    std::function<void(std::span<const uint8_t> piece)> content;
    // Compressed bytes consumed so far, after each decoder call.
    std::function<void(uint64_t frame_bytes_done)> progress;
};

struct payload_totals {
    uint64_t files = 0;
    uint64_t content_bytes = 0;
    uint64_t stream_bytes = 0;
};

// Decodes the whole frame. Throws tool_error, naming `shown`, when the frame
// does not decode (damage, a checksum that does not match, a window above
// the launcher's limit), a record is cut short or has a name longer than
// the launcher reads, or the stream goes on after the end marker.
payload_totals walk_records(const stored_payload &payload, const record_visitor &visitor, const std::string &shown);

} // namespace tarvek
