// The records of an application folder, ready for write_payload.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "payload_writer.hpp"

namespace tarvek {

// Longest name the launcher reads, in UTF-16 units.
constexpr size_t longest_entry_name = 1023;
inline constexpr char16_t main_library_name[] = u"main.dll";

// A record for every regular file below `folder` (symbolic links followed),
// named by its path relative to the folder, components joined with
// backslashes. "main.dll" at the top level comes first, the others follow in
// the order of their names' UTF-16 units, so the same folder always gives
// the same payload. Directories have no records: an empty one is not stored.
//
// Throws payload_error for what the launcher could not unpack as it is: no
// main.dll, a name longer than 1023 units, a component that Windows cannot
// hold (control characters, any of <>:"/\|?*, a trailing dot or space), two
// names that differ only in ASCII case, anything that is neither file nor
// directory, or text that is not UTF-8.
std::vector<stream_item> folder_items(const std::filesystem::path &folder);

} // namespace tarvek
