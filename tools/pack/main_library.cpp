#include "pack/main_library.hpp"

#include "common/error.hpp"
#include "common/mapped_file.hpp"
#include "common/utf.hpp"
#include "pack/pe_exports.hpp"
#include "pack/x64_image.hpp"

namespace tarvek {

void check_main_library(std::span<const uint8_t> bytes, const std::string &shown)
{
    const pe::headers headers =
        read_x64_image(bytes, shown, image_kind::library, "the main library must be a 64-bit DLL");
    std::vector<std::string> names = pe_export_names(headers, bytes, shown);
    std::string near;
    for (const std::string &name : names) {
        if (name == entry_point_name)
            return;
        if (near.empty() && name.find(entry_point_name) != std::string::npos)
            near = name;
    }
    if (!near.empty())
        throw tool_error(shown + ": exports no run_code but '" + printable(near) +
                         "': declare it extern \"C\" so that its name is not decorated");
    throw tool_error(shown + (names.empty() ? ": exports nothing" : ": does not export run_code") +
                     "; the launcher calls its export run_code");
}

void check_main_library_file(const std::filesystem::path &path)
{
    mapped_file file(path);
    check_main_library(file.bytes(), printable(path.string()));
}

} // namespace tarvek
