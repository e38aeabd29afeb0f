// Changes to a written payload that make the damaged or unusual inputs the
// launcher's tests need. Each works on the stored file in place, at offsets
// taken from the layout that write_fixture returned.
#pragma once

#include <filesystem>

#include "fixture_stream.hpp"

namespace tarvek {

// Rewrites the frame's window descriptor: exponent (0..31) in the high five
// bits, mantissa (0..7) in the low three; the window is then
// 2^(10+exponent) + mantissa * 2^(7+exponent) bytes.
void patch_window_descriptor(const std::filesystem::path &stored, const fixture_layout &layout,
                             unsigned exponent, unsigned mantissa);

// Inverts the frame's content checksum, its last four bytes.
void corrupt_checksum(const std::filesystem::path &stored, const fixture_layout &layout);

// Swaps the case of magic byte `index` (0, 1 or 2): "jWX", "JwX", "JWx".
void damage_magic(const std::filesystem::path &stored, unsigned index);

// Overwrites the frame with 0xFF from the end of block `block` (counted from
// 1, in the order of the block_end items) to the end of the frame.
void damage_after_block(const std::filesystem::path &stored, const fixture_layout &layout, size_t block);

// Puts a skippable frame of `size` bytes (byte i = i mod 251) between the
// magic and the frame; the padding and the length field follow, and so
// does `layout`.
void insert_skippable_frame(const std::filesystem::path &stored, fixture_layout &layout, uint32_t size);

} // namespace tarvek
