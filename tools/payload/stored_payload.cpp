#include "payload/stored_payload.hpp"

#define ZSTD_STATIC_LINKING_ONLY // ZSTD_getFrameHeader
#include <zstd.h>

#include <algorithm>

#include "common/error.hpp"
#include "payload/payload_format.hpp"

namespace tarvek {

stored_payload read_stored_payload(std::span<const uint8_t> bytes, const std::string &shown)
{
    if (bytes.size() < payload_magic_size || !std::equal(payload_magic, payload_magic + payload_magic_size, bytes.data()))
        throw tool_error(shown + ": .rdata does not start with a payload (no \"" +
                         std::string(payload_magic, payload_magic + payload_magic_size) +
                         "\"): not a Tarvek Onefile launcher");
    stored_payload found;
    stored_layout &layout = found.layout;
    layout.frame_offset = payload_magic_size;
    std::span<const uint8_t> after_magic = bytes.subspan(payload_magic_size);
    size_t frame_size = ZSTD_findFrameCompressedSize(after_magic.data(), after_magic.size());
    if (ZSTD_isError(frame_size))
        throw tool_error(shown + ": the payload's frame is damaged (" + ZSTD_getErrorName(frame_size) + ")");
    found.frame = after_magic.first(frame_size);
    layout.frame_size = frame_size;
    const uint64_t frame_end = layout.frame_offset + frame_size;
    layout.padding = (payload_length_field_size - frame_end % payload_length_field_size) % payload_length_field_size;
    layout.length_field = frame_end + layout.padding;
    layout.total = layout.length_field + payload_length_field_size;
    if (layout.total > bytes.size())
        throw tool_error(shown + ": the payload runs past the end of .rdata");
    for (uint64_t i = frame_end; i < layout.length_field; ++i)
        if (bytes[i] != 0)
            throw tool_error(shown + ": the payload's padding after the frame is not zero");
    uint64_t length = 0;
    for (size_t i = payload_length_field_size; i > 0; --i)
        length = length << 8 | bytes[layout.length_field + i - 1];
    if (length != layout.length_field)
        throw tool_error(shown + ": the payload's length field says " + std::to_string(length) +
                         " bytes, the frame ends at " + std::to_string(layout.length_field));
    found.bytes = bytes.first(layout.total);

    ZSTD_frameHeader header = {};
    if (ZSTD_getFrameHeader(&header, found.frame.data(), found.frame.size()) != 0 || header.frameType != ZSTD_frame)
        throw tool_error(shown + ": the payload's frame header is damaged");
    layout.checksum = header.checksumFlag != 0;
    layout.window_size = header.windowSize;
    return found;
}

unsigned window_log_of(uint64_t window_size)
{
    unsigned log = 0;
    while (log < 63 && (uint64_t{1} << log) < window_size)
        ++log;
    return log;
}

} // namespace tarvek
