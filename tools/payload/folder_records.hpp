// The records of an application folder, ready for write_payload.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "payload/payload_format.hpp"
#include "payload/payload_writer.hpp"

namespace tarvek {

// The first record's name: the launcher loads the main library under it.
inline constexpr char16_t main_library_name[] = u"main.dll";

// The target directory under a typical temporary folder, as the launcher
// makes it: "C:\Users\" and a user name of 20 letters (the most Windows
// allows), "\AppData\Local\Temp\onefile_", a process id of 10 digits,
// "_", 6 digits of microseconds, "_", 11 random letters, and the backslash
// before the name.
constexpr size_t typical_target_units = 9 + 20 + 28 + 10 + 1 + 6 + 1 + 11 + 1;
// The launcher's path buffer, and the path length Windows handles where
// long paths are not enabled.
constexpr size_t longest_joined_path = 4095;
constexpr size_t longest_short_path = 259;

// A record for every regular file below `folder`, named by its path relative
// to the folder, components joined with backslashes. "main.dll" at the top
// level comes first, the others follow in the order of their names' UTF-16
// units, so the same folder always gives the same payload. Directories have
// no records: an empty one is not stored. Symbolic links that stay inside
// the folder are followed.
//
// Throws tool_error, with a message that names the file and the rule,
// for what a launcher could not unpack as it is on Windows: an empty folder,
// no main.dll, a file that cannot be read, a symbolic link that leads out of
// the folder, to nothing, or into a loop, anything that is neither file nor
// folder, a name that is not UTF-8, a component that Windows cannot hold
// (component_problem), a name longer than the launcher reads
// (entry_name_max_units UTF-16 units), or two names
// that differ only in letter case.
//
// Adds a line to `warnings` for each name whose path under a typical
// temporary folder would pass 259 units (or 4095), with the margin.
//
// main_library::supplied: the main library is not the folder's, the caller
// puts its own first (tarvek-pack --run); the folder must then hold no
// main.dll at its top level, in any letter case, nor a folder of that name,
// and the records are the folder's files alone.
enum class main_library { in_folder, supplied };
std::vector<payload_record> folder_records(const std::filesystem::path &folder,
                                          std::vector<std::string> *warnings = nullptr,
                                          main_library main = main_library::in_folder);

} // namespace tarvek
