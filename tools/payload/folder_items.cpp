#include "folder_items.hpp"

#include <algorithm>
#include <map>

#include "payload_error.hpp"
#include "utf16_text.hpp"

namespace tarvek {

namespace {

bool windows_can_hold(const std::u16string &component)
{
    constexpr std::u16string_view forbidden = u"<>:\"/\\|?*";
    for (char16_t unit : component)
        if (unit < 0x20 || forbidden.find(unit) != std::u16string_view::npos)
            return false;
    return !component.empty() && component.back() != u'.' && component.back() != u' ';
}

std::u16string entry_name(const std::filesystem::path &relative)
{
    std::u16string name;
    for (const std::filesystem::path &part : relative) {
        std::u16string component = utf8_to_utf16(part.string());
        if (!windows_can_hold(component))
            throw payload_error("'" + relative.string() + "': the name '" + part.string() +
                                "' cannot be a Windows file name");
        if (!name.empty())
            name += u'\\';
        name += component;
    }
    if (name.size() > longest_entry_name)
        throw payload_error("'" + relative.string() + "': its name has " + std::to_string(name.size()) +
                            " UTF-16 units, more than " + std::to_string(longest_entry_name));
    return name;
}

std::u16string ascii_folded(std::u16string name)
{
    for (char16_t &unit : name)
        if (unit >= u'A' && unit <= u'Z')
            unit = static_cast<char16_t>(unit - u'A' + u'a');
    return name;
}

} // namespace

std::vector<stream_item> folder_items(const std::filesystem::path &folder)
{
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        throw payload_error("'" + folder.string() + "' is not a folder");
    std::map<std::u16string, std::filesystem::path> files;
    std::map<std::u16string, std::filesystem::path> folded;
    auto walk = std::filesystem::recursive_directory_iterator(
        folder, std::filesystem::directory_options::follow_directory_symlink, error);
    for (auto end = std::filesystem::recursive_directory_iterator(); !error && walk != end;
         walk.increment(error)) {
        const std::filesystem::path &path = walk->path();
        if (walk->is_directory(error))
            continue;
        if (!walk->is_regular_file(error))
            throw payload_error("'" + path.string() + "' is neither a file nor a folder");
        std::filesystem::path relative = path.lexically_relative(folder);
        std::u16string name = entry_name(relative);
        auto [clash, added] = folded.emplace(ascii_folded(name), relative);
        if (!added)
            throw payload_error("'" + relative.string() + "' and '" + clash->second.string() +
                                "' would be the same file on Windows");
        files.emplace(std::move(name), path);
    }
    if (error)
        throw payload_error("cannot list '" + folder.string() + "': " + error.message());

    auto main_library = files.find(main_library_name);
    if (main_library == files.end())
        throw payload_error("'" + folder.string() + "' has no main.dll at its top level");
    std::vector<stream_item> items;
    items.push_back(record_item(main_library->first, file_source(main_library->second)));
    files.erase(main_library);
    // std::map orders the names by their UTF-16 units.
    for (const auto &[name, path] : files)
        items.push_back(record_item(name, file_source(path)));
    return items;
}

} // namespace tarvek
