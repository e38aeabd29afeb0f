// Changes to a written payload that make the damaged or unusual inputs the
// launcher's tests need. Each works on the stored file in place, at offsets
// taken from the layout that write_payload returned.
#pragma once

#include <filesystem>

#include "payload/payload_writer.hpp"

namespace tarvek {

// Rewrites the frame's window descriptor: exponent (0..31) in the high five
// bits, mantissa (0..7) in the low three; the window is then
// 2^(10+exponent) + mantissa * 2^(7+exponent) bytes.
void patch_window_descriptor(const std::filesystem::path &stored, const payload_layout &layout,
                             unsigned exponent, unsigned mantissa);

// Inverts the frame's content checksum, its last four bytes.
void corrupt_checksum(const std::filesystem::path &stored, const payload_layout &layout);

// Swaps the case of magic byte `index` (0..2): "jWX", "JwX", "JWx".
void damage_magic(const std::filesystem::path &stored, unsigned index);

// Overwrites the frame with 0xFF from the end of block `block` (counted from
// 1, in the order of the block_end items) to the end of the frame.
void damage_after_block(const std::filesystem::path &stored, const payload_layout &layout, size_t block);

} // namespace tarvek
