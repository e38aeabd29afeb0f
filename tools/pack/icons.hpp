// The launcher's icon images from the user's PNG files: one per size, or
// fewer (one large one will do), the missing sizes scaled by pixman.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarvek {

// Reads every --icon file, checks that it is a square PNG image, and writes
// the seven sizes of the icon group (16 to 256 pixels) as 8-bit RGBA PNG
// files into `directory`, in that order; returns their paths. A size given
// exactly is taken as it is (converted to RGBA); a missing one is scaled
// down from the smallest larger image, or up from the largest when none is
// larger (with a warning). Throws tool_error naming the file and the rule.
std::vector<std::filesystem::path> prepare_icons(const std::vector<std::filesystem::path> &given,
                                                 const std::filesystem::path &directory,
                                                 std::vector<std::string> &warnings);

// Checks the icon files only, as prepare_icons does before it writes.
void check_icons(const std::vector<std::filesystem::path> &given);

} // namespace tarvek
