// The object file that carries what is particular to one launcher's code
// and data: the stored payload and the compiled-in setting texts. Written
// directly as COFF, so that packing compiles nothing.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarvek {

// One NUL-terminated UTF-16 text under a global symbol.
struct data_text {
    std::string symbol;
    std::u16string text;
};

// Writes an x86-64 COFF object with one read-only data section (.rdata,
// aligned to 4096 bytes): the bytes of `stored_payload` first, under the
// symbol tarvek_payload; then at the next multiple of 8 their count as a
// u64 under tarvek_payload_length; then the texts. Linked first, its data
// starts the image's .rdata. Throws tool_error when the payload cannot be
// read or does not fit one section.
void write_data_object(const std::filesystem::path &output, const std::filesystem::path &stored_payload,
                       const std::vector<data_text> &texts);

} // namespace tarvek
