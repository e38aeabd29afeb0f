// The resources of a launcher: icon group 1 with icons 1 to 7 (PNG images),
// version resource 1 and manifest 1, all language neutral. llvm-rc compiles
// the parts' resource script with the settings filled in; two fields that
// llvm-rc writes its own way are then set as the image must have them: the
// icon group entries' planes (0, llvm-rc writes 1) and the version's
// structure version (0, llvm-rc writes 1.0).
#pragma once

#include <filesystem>

#include "image/launcher_settings.hpp"

namespace tarvek {

// Writes `work`/launcher.res for `settings`, whose internal name must be
// set, with the resource script and manifest of `parts`. The icons are read
// and checked here: each must be a PNG image of its size, 8 bits per
// channel with alpha. Throws tool_error.
std::filesystem::path write_launcher_resources(const std::filesystem::path &parts, const launcher_settings &settings,
                                               const std::filesystem::path &work);

// Text as the body of an L"..." string of llvm-rc: '"' doubled, '\'
// escaped, UTF-8 left as it is (the script is compiled as UTF-8).
std::string resource_string(const std::string &text);

} // namespace tarvek
