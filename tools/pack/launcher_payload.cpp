#include "pack/launcher_payload.hpp"

#define ZSTD_STATIC_LINKING_ONLY // ZSTD_getFrameHeader
#include <zstd.h>

#include "common/error.hpp"
#include "image/pe_format.hpp"

namespace tarvek {

namespace {

constexpr size_t magic_size = 3;
constexpr size_t length_field_size = 8;

} // namespace

located_payload locate_payload(std::span<const uint8_t> launcher, const std::string &shown)
{
    pe::headers headers;
    try {
        headers = pe::read_headers(launcher);
    } catch (const tool_error &error) {
        throw tool_error(shown + ": " + error.what());
    }
    const pe::section *rdata = nullptr;
    for (const pe::section &section : headers.sections)
        if (section.name == ".rdata")
            rdata = &section;
    if (rdata == nullptr)
        throw tool_error(shown + ": no .rdata section, so no payload");
    if (uint64_t{rdata->raw_offset} + rdata->raw_size > launcher.size())
        throw tool_error(shown + ": its .rdata section runs past the end of the file");
    std::span<const uint8_t> section = launcher.subspan(rdata->raw_offset, rdata->raw_size);
    if (section.size() < magic_size || section[0] != 'J' || section[1] != 'W' || section[2] != 'X')
        throw tool_error(shown + ": .rdata does not start with a payload (no \"JWX\"): not a Tarvek Onefile launcher");

    located_payload found;
    std::span<const uint8_t> after_magic = section.subspan(magic_size);
    size_t frame_size = ZSTD_findFrameCompressedSize(after_magic.data(), after_magic.size());
    if (ZSTD_isError(frame_size))
        throw tool_error(shown + ": the payload's frame is damaged (" + ZSTD_getErrorName(frame_size) + ")");
    found.frame = after_magic.first(frame_size);
    const size_t before_field = magic_size + frame_size;
    const size_t padding = (length_field_size - before_field % length_field_size) % length_field_size;
    const size_t total = before_field + padding + length_field_size;
    if (total > section.size())
        throw tool_error(shown + ": the payload runs past the end of .rdata");
    for (size_t i = 0; i < padding; ++i)
        if (section[before_field + i] != 0)
            throw tool_error(shown + ": the payload's padding after the frame is not zero");
    uint64_t length = 0;
    for (size_t i = length_field_size; i > 0; --i)
        length = length << 8 | section[before_field + padding + i - 1];
    if (length != before_field + padding)
        throw tool_error(shown + ": the payload's length field says " + std::to_string(length) +
                         " bytes, the frame ends at " + std::to_string(before_field + padding));
    found.offset = rdata->raw_offset;
    found.stored = section.first(total);
    found.padding = padding;

    ZSTD_frameHeader header = {};
    if (ZSTD_getFrameHeader(&header, found.frame.data(), found.frame.size()) != 0 ||
        header.frameType != ZSTD_frame)
        throw tool_error(shown + ": the payload's frame header is damaged");
    found.checksum = header.checksumFlag != 0;
    found.window = header.windowSize;
    return found;
}

} // namespace tarvek
