// The stored payload of a built launcher, found where the launcher itself
// finds it: at the first byte of the image's .rdata section. Nothing is
// searched for; the payload's own length field must agree with the frame.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "payload/stored_payload.hpp"

namespace tarvek {

struct launcher_payload {
    uint64_t offset = 0; // file offset of the payload: that of .rdata
    stored_payload stored;
    // The header's subsystem: subsystem_windowed or subsystem_console for
    // a launcher.
    uint16_t subsystem = 0;
};

inline constexpr uint16_t subsystem_windowed = 2, subsystem_console = 3;

// "windowed", "console", or "subsystem N" for another.
std::string subsystem_name(uint16_t subsystem);

// Throws tool_error, naming `shown`, when the image has no .rdata, or its
// first bytes are not a stored payload (read_stored_payload).
launcher_payload locate_payload(std::span<const uint8_t> launcher, const std::string &shown);

} // namespace tarvek
