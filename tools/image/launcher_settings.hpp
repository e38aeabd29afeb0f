// What varies between launchers besides the payload: the texts and version
// number of the version resource, which the launcher also carries as the
// compiled-in values of {COMPANY}, {PRODUCT}, {VERSION}, {FILE_VERSION} and
// {PRODUCT_VERSION}, and the icon images. Both are written from one
// launcher_settings, so they cannot disagree.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvek {

// The pixel sizes of the icon group's images, in their order.
inline constexpr std::array<unsigned, 7> icon_sizes = {16, 24, 32, 48, 64, 128, 256};

struct launcher_settings {
    // UTF-8 texts: CompanyName and {COMPANY}, ProductName and {PRODUCT}.
    std::string company = "Tarvek";
    std::string product = "Tarvek Onefile application";
    // a.b.c.d: FileVersion and ProductVersion, numerically and as text, and
    // {VERSION}, {FILE_VERSION} and {PRODUCT_VERSION}.
    std::array<uint16_t, 4> version = {1, 0, 0, 0};
    // InternalName; OriginalFilename is this plus ".exe". Empty: the output
    // file's name without its ".exe".
    std::string internal_name;
    // FileDescription, the name Windows shows for the program (in the task
    // manager, say). Unset: OriginalFilename.
    std::optional<std::string> description;
    // PNG images (8 bits per channel with alpha) of the icon_sizes, in that
    // order; empty for the default images of the launcher parts.
    std::vector<std::filesystem::path> icons;
};

// The internal name of a launcher written to `output` when none is given:
// its file name without a final ".exe" (in any case).
std::string default_internal_name(const std::filesystem::path &output);

// FileDescription: the description, else the internal name plus ".exe".
std::string file_description(const launcher_settings &settings);

// "a.b.c.d" in decimal.
std::string version_text(const std::array<uint16_t, 4> &version);
// One to four decimal numbers up to 65535, "A[.B[.C[.D]]]", the missing
// ones 0 ("1.6" is 1.6.0.0); anything else throws tool_error.
std::array<uint16_t, 4> parse_version(std::string_view text);

// Throws tool_error naming the first setting that cannot go into an image:
// a text that is empty, longer than max_setting_units UTF-16 units, not
// UTF-8 or holding control characters; an internal name that is no file
// name; a description that is such a text; a number of
// icons other than 0 or 7. (Icon files are read, and
// checked, by the resource writer.)
inline constexpr size_t max_setting_units = 256;
void check_settings(const launcher_settings &settings);

} // namespace tarvek
