// The stored payload of a built launcher, found where the launcher itself
// finds it: at the first byte of the image's .rdata section. Nothing is
// searched for; the payload's own length field must agree with the frame.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace tarvek {

struct located_payload {
    uint64_t offset = 0;             // file offset of the payload: that of .rdata
    std::span<const uint8_t> stored; // "JWX" up to and including the length field
    std::span<const uint8_t> frame;  // the Zstandard frame alone
    uint64_t padding = 0;            // zero bytes between the frame and the length field
    bool checksum = false;           // the frame carries a content checksum
    uint64_t window = 0;             // bytes
};

// Throws tool_error, naming `shown`, when the image has no .rdata, or its
// first bytes are not a stored payload whose frame, zero padding and length
// field fit together within the section.
located_payload locate_payload(std::span<const uint8_t> launcher, const std::string &shown);

} // namespace tarvek
