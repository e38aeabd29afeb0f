#include "image/launcher_resources.hpp"

#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "common/error.hpp"
#include "image/launcher_link.hpp"
#include "image/pe_format.hpp"
#include "image/tool_run.hpp"

namespace tarvek {

namespace {

namespace fs = std::filesystem;

// Names in the work folder; the resource script refers to the first two.
constexpr const char *icon_file = "icons.ico";
constexpr const char *manifest_file = "launcher.manifest";
constexpr const char *script_file = "launcher.rc";
constexpr const char *resource_file = "launcher.res";

constexpr uint16_t type_group_icon = 14;
constexpr uint16_t type_version = 16;
constexpr size_t group_header_size = 6;
constexpr size_t group_entry_size = 14;
constexpr size_t group_entry_planes = 4;
constexpr size_t version_key_offset = 6;
constexpr size_t version_fixed_offset = 40; // after the key "VS_VERSION_INFO" and its padding
constexpr size_t fixed_structure_version = 4;
constexpr uint32_t fixed_signature = 0xFEEF04BD;
constexpr size_t largest_icon = 16 << 20;

std::string read_file(const fs::path &path, const char *what, size_t limit)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw tool_error(std::string("cannot read ") + what + " '" + path.string() + "'");
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || bytes.size() > limit)
        throw tool_error(std::string(what) + " '" + path.string() + "' cannot be read or is too large");
    return bytes;
}

void write_file(const fs::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out)
        throw tool_error("cannot write '" + path.string() + "'");
}

uint32_t big_endian_u32(const std::string &bytes, size_t at)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

// The PNG file of the icon of `size` pixels, checked.
std::string read_icon(const fs::path &path, unsigned size)
{
    std::string png = read_file(path, "icon", largest_icon);
    static const std::string signature("\x89PNG\r\n\x1a\n", 8);
    // Signature, then the first chunk, IHDR: length 13, type, width, height,
    // bit depth, colour type.
    if (png.size() < 33 || png.compare(0, 8, signature) != 0 || png.compare(12, 4, "IHDR") != 0)
        throw tool_error("icon '" + path.string() + "' is not a PNG image");
    uint32_t width = big_endian_u32(png, 16), height = big_endian_u32(png, 20);
    if (width != size || height != size)
        throw tool_error("icon '" + path.string() + "' is " + std::to_string(width) + "x" +
                          std::to_string(height) + " pixels; its place needs " + std::to_string(size) + "x" +
                          std::to_string(size));
    constexpr uint8_t colour_type_rgba = 6;
    if (static_cast<uint8_t>(png[24]) != 8 || static_cast<uint8_t>(png[25]) != colour_type_rgba)
        throw tool_error("icon '" + path.string() + "' is not 8 bits per channel with alpha (RGBA)");
    return png;
}

// An .ico file of the PNG images, as the ICON statement of the script reads
// it.
std::string icon_file_bytes(const std::vector<std::string> &images)
{
    std::string ico(group_header_size + 16 * images.size(), '\0');
    auto at = reinterpret_cast<uint8_t *>(ico.data());
    pe::put_u16(at + 2, 1); // icons
    pe::put_u16(at + 4, static_cast<uint16_t>(images.size()));
    size_t offset = ico.size();
    for (size_t i = 0; i < images.size(); ++i) {
        uint8_t *entry = at + group_header_size + 16 * i;
        entry[0] = entry[1] = static_cast<uint8_t>(icon_sizes[i] % 256);
        pe::put_u16(entry + 4, 1);
        pe::put_u16(entry + 6, 32);
        pe::put_u32(entry + 8, static_cast<uint32_t>(images[i].size()));
        pe::put_u32(entry + 12, static_cast<uint32_t>(offset));
        offset += images[i].size();
    }
    for (const std::string &image : images)
        ico += image;
    return ico;
}

// The script with every @NAME@ replaced; a name it does not know means that
// the script and this program do not belong together.
std::string fill_script(const std::string &script, const std::map<std::string, std::string> &values)
{
    std::string out;
    size_t at = 0;
    for (size_t open; (open = script.find('@', at)) != std::string::npos;) {
        size_t close = script.find('@', open + 1);
        if (close == std::string::npos)
            throw tool_error("resource script: unmatched '@'");
        auto value = values.find(script.substr(open + 1, close - open - 1));
        if (value == values.end())
            throw tool_error("resource script: unknown place " + script.substr(open, close - open + 1));
        out += script.substr(at, open - at) + value->second;
        at = close + 1;
    }
    return out + script.substr(at);
}

// One resource of a compiled resource file.
struct resource_entry {
    uint16_t type = 0; // 0 for a named type
    uint16_t name = 0; // 0 for a named resource
    size_t data = 0;   // offset of its data in the file
    size_t size = 0;
};

// The entries of a .res file: after each header's data size and header
// size come the type and name (0xFFFF and a number, or a string), then the
// rest of the header; data follow the header and are padded to 4 bytes.
std::vector<resource_entry> resource_entries(const std::string &res)
{
    auto bytes = reinterpret_cast<const uint8_t *>(res.data());
    std::vector<resource_entry> entries;
    for (size_t at = 0; at + 8 <= res.size();) {
        uint32_t data_size = pe::u32(bytes + at), header_size = pe::u32(bytes + at + 4);
        if (header_size < 16 || at + header_size + data_size > res.size())
            throw tool_error("llvm-rc wrote a damaged resource file");
        resource_entry entry;
        auto number = [&](size_t field) { return pe::u16(bytes + field) == 0xFFFF ? pe::u16(bytes + field + 2) : 0; };
        entry.type = static_cast<uint16_t>(number(at + 8));
        entry.name = entry.type != 0 ? static_cast<uint16_t>(number(at + 12)) : 0;
        entry.data = at + header_size;
        entry.size = data_size;
        entries.push_back(entry);
        at = (entry.data + data_size + 3) / 4 * 4;
    }
    return entries;
}

const resource_entry &only_entry(const std::vector<resource_entry> &entries, uint16_t type, const char *what)
{
    const resource_entry *found = nullptr;
    for (const resource_entry &e : entries) {
        if (e.type != type)
            continue;
        if (found != nullptr || e.name != 1)
            throw tool_error(std::string("the resource script must give exactly one ") + what + ", number 1");
        found = &e;
    }
    if (found == nullptr)
        throw tool_error(std::string("the resource script gives no ") + what);
    return *found;
}

// Sets the fields that llvm-rc writes its own way.
void set_fixed_fields(std::string &res)
{
    std::vector<resource_entry> entries = resource_entries(res);
    auto bytes = reinterpret_cast<uint8_t *>(res.data());

    const resource_entry &group = only_entry(entries, type_group_icon, "icon group");
    if (group.size < group_header_size)
        throw tool_error("llvm-rc wrote an empty icon group");
    size_t count = pe::u16(bytes + group.data + 4);
    if (group.size != group_header_size + count * group_entry_size)
        throw tool_error("llvm-rc wrote an icon group of unexpected size");
    for (size_t i = 0; i < count; ++i)
        pe::put_u16(bytes + group.data + group_header_size + i * group_entry_size + group_entry_planes, 0);

    const resource_entry &version = only_entry(entries, type_version, "version resource");
    static const std::u16string key = u"VS_VERSION_INFO";
    bool key_found = version.size >= version_fixed_offset + 8;
    for (size_t i = 0; key_found && i < key.size(); ++i)
        key_found = pe::u16(bytes + version.data + version_key_offset + 2 * i) == key[i];
    if (!key_found || pe::u32(bytes + version.data + version_fixed_offset) != fixed_signature)
        throw tool_error("llvm-rc wrote a version resource of unexpected layout");
    pe::put_u32(bytes + version.data + version_fixed_offset + fixed_structure_version, 0);
}

} // namespace

std::string resource_string(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '"')
            out += "\"\"";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

fs::path write_launcher_resources(const fs::path &parts, const launcher_settings &settings, const fs::path &work)
{
    std::vector<std::string> images;
    for (size_t i = 0; i < icon_sizes.size(); ++i)
        images.push_back(read_icon(settings.icons.empty() ? parts::default_icon(parts, icon_sizes[i])
                                                            : settings.icons[i],
                                   icon_sizes[i]));
    write_file(work / icon_file, icon_file_bytes(images));

    // One line: whatever line end an editor left is not part of it.
    std::string manifest = read_file(parts / parts::manifest, "manifest", 1 << 20);
    while (!manifest.empty() && (manifest.back() == '\n' || manifest.back() == '\r'))
        manifest.pop_back();
    if (manifest.find_first_of("\r\n") != std::string::npos)
        throw tool_error("the manifest '" + (parts / parts::manifest).string() + "' must be one line");
    write_file(work / manifest_file, manifest);

    const auto &v = settings.version;
    std::string numbers = std::to_string(v[0]) + ", " + std::to_string(v[1]) + ", " + std::to_string(v[2]) + ", " +
                          std::to_string(v[3]);
    std::string script = fill_script(read_file(parts / parts::resource_script, "resource script", 1 << 20),
                                     {{"COMPANY", resource_string(settings.company)},
                                      {"PRODUCT", resource_string(settings.product)},
                                      {"VERSION", version_text(v)},
                                      {"VERSION_NUMBERS", numbers},
                                      {"INTERNAL_NAME", resource_string(settings.internal_name)},
                                      {"DESCRIPTION", resource_string(file_description(settings))}});
    write_file(work / script_file, script);

    // Without the preprocessor: llvm-rc would run a C compiler for it.
    run_tool({"llvm-rc", "-no-preprocess", "-C", "65001", "-FO", resource_file, script_file}, work);
    std::string res = read_file(work / resource_file, "compiled resources", 1 << 30);
    set_fixed_fields(res);
    write_file(work / resource_file, res);
    return work / resource_file;
}

} // namespace tarvek
