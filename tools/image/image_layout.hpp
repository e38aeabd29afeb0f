// Placing .rdata at a page-aligned file offset. The loader (Wine's at
// least) maps a section straight from the file only at such an offset and
// otherwise copies it into private memory in every process that loads the
// image; .rdata starts with the payload and is nearly all of the file.
#pragma once

#include <filesystem>

namespace tarvek {

// Writes the image `linked` (as lld-link wrote it: .text first, .rdata
// second, 512-byte file alignment) to `output` with .rdata at the next
// file offset that is a multiple of 4096. The padding goes first to the end
// of .text's raw data, as far as .text's last page reaches, and the rest
// into the headers; offsets and sizes in the headers follow. The file
// alignment stays 512 and nothing is padded inside a section's contents.
// Throws tool_error for an image of another shape.
void write_page_aligned_image(const std::filesystem::path &linked, const std::filesystem::path &output);

} // namespace tarvek
