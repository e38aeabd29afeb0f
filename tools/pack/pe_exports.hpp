// The export names of a PE32+ image, read through its headers
// (tools/image/pe_format.hpp) from the file's bytes.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image/pe_format.hpp"

namespace tarvek {

// The bytes behind a relative virtual address range, within one section's
// stored data; empty when the range is not stored in the file.
std::span<const uint8_t> pe_bytes_at(const pe::headers &headers, std::span<const uint8_t> file, uint32_t rva,
                                     uint32_t size);

// The names in the export table; empty when it has none. Throws tool_error,
// with `shown` as the file's name, when the table points outside the file.
std::vector<std::string> pe_export_names(const pe::headers &headers, std::span<const uint8_t> file,
                                         const std::string &shown);

// The address (RVA) of the export named `name`, or nullopt when there is no
// such export. Throws tool_error as pe_export_names does.
std::optional<uint32_t> pe_export_address(const pe::headers &headers, std::span<const uint8_t> file,
                                          const std::string &name, const std::string &shown);

} // namespace tarvek
