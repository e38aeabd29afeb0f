// The resources field by field: the tree, the icon group and its PNG
// images, the version resource, the manifest; and the compiled-in texts
// that must agree with the version resource.
#include <fstream>
#include <iterator>

#include "common/error.hpp"
#include "common/utf.hpp"
#include "image_file.hpp"
#include "manifest_xml.hpp"

namespace tarvek::check {

namespace {

constexpr uint16_t type_icon = 3, type_group_icon = 14, type_version = 16, type_manifest = 24;

struct resource {
    uint16_t type, name, language;
    const uint8_t *data; // null when outside the file
    uint32_t size;
    uint32_t code_page;
};

// Walks type, name and language levels; every entry must be numbered.
std::vector<resource> resource_list(const image_file &image, report &r)
{
    std::vector<resource> list;
    uint32_t base = image.directory_rva(pe::directory::resource);
    bool well_formed = true, numbered = true;
    auto directory = [&](uint32_t offset, auto &&visit) {
        const uint8_t *d = image.at(base + offset, 16);
        if (d == nullptr) {
            well_formed = false;
            return;
        }
        numbered = numbered && pe::u16(d + 12) == 0;
        size_t count = pe::u16(d + 12) + pe::u16(d + 14);
        const uint8_t *entries = image.at(base + offset + 16, 8 * count);
        if (entries == nullptr) {
            well_formed = false;
            return;
        }
        for (size_t i = 0; i < count; ++i)
            visit(pe::u32(entries + 8 * i), pe::u32(entries + 8 * i + 4));
    };
    constexpr uint32_t subdirectory = 0x80000000;
    directory(0, [&](uint32_t type, uint32_t to_names) {
        if (!(to_names & subdirectory))
            return void(well_formed = false);
        directory(to_names & ~subdirectory, [&](uint32_t name, uint32_t to_languages) {
            if (!(to_languages & subdirectory))
                return void(well_formed = false);
            directory(to_languages & ~subdirectory, [&](uint32_t language, uint32_t to_data) {
                const uint8_t *entry = (to_data & subdirectory) ? nullptr : image.at(base + to_data, 16);
                if (entry == nullptr)
                    return void(well_formed = false);
                uint32_t size = pe::u32(entry + 4);
                list.push_back({static_cast<uint16_t>(type), static_cast<uint16_t>(name),
                                static_cast<uint16_t>(language),
                                image.inside(pe::u32(entry), size, ".rsrc") ? image.at(pe::u32(entry), size) : nullptr,
                                size, pe::u32(entry + 8)});
            });
        });
    });
    r.expect(well_formed, "resource tree", "must be whole type, name and language levels in .rsrc");
    r.expect(numbered, "resources are numbered, none named");
    return list;
}

const resource *find(const std::vector<resource> &list, uint16_t type, uint16_t name)
{
    for (const resource &res : list)
        if (res.type == type && res.name == name)
            return &res;
    return nullptr;
}

uint32_t big_endian(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

std::string read_file(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void check_icons(const std::vector<resource> &list, const expectations &expected, report &r)
{
    const resource *group = find(list, type_group_icon, 1);
    constexpr size_t header = 6, entry_size = 14;
    if (!r.expect(group != nullptr && group->data != nullptr && group->size == header + 7 * entry_size,
                  "icon group 1", "must be a group of seven entries"))
        return;
    const uint8_t *g = group->data;
    r.expect(pe::u16(g) == 0 && pe::u16(g + 2) == 1 && pe::u16(g + 4) == 7, "icon group header",
             "must be reserved 0, type 1 (icons), count 7");
    for (size_t i = 0; i < icon_sizes.size(); ++i) {
        unsigned size = icon_sizes[i];
        std::string item = "icon group entry " + std::to_string(i + 1) + " (" + std::to_string(size) + " px)";
        const uint8_t *e = g + header + i * entry_size;
        const resource *icon = find(list, type_icon, static_cast<uint16_t>(i + 1));
        uint8_t side = static_cast<uint8_t>(size % 256);
        r.expect(e[0] == side && e[1] == side && e[2] == 0 && e[3] == 0, item,
                 "width and height must be " + std::to_string(side) + ", colour count and reserved 0");
        r.expect(pe::u16(e + 4) == 0 && pe::u16(e + 6) == 32, item,
                 "planes are " + std::to_string(pe::u16(e + 4)) + " and bit count " + std::to_string(pe::u16(e + 6)) +
                     ", must be 0 and 32");
        r.expect(pe::u16(e + 12) == i + 1 && icon != nullptr && pe::u32(e + 8) == icon->size, item,
                 "must name icon " + std::to_string(i + 1) + " and its byte size");
        if (icon == nullptr || icon->data == nullptr)
            continue;
        const uint8_t *png = icon->data;
        bool is_png = icon->size >= 33 && std::string(reinterpret_cast<const char *>(png), 8) == "\x89PNG\r\n\x1a\n" &&
                      std::string(reinterpret_cast<const char *>(png + 12), 4) == "IHDR";
        r.expect(is_png && big_endian(png + 16) == size && big_endian(png + 20) == size && png[24] == 8 && png[25] == 6,
                 "icon " + std::to_string(i + 1), "must be a " + std::to_string(size) + "x" + std::to_string(size) +
                                                      " PNG image, 8 bits per channel with alpha");
        if (!expected.settings.icons.empty()) {
            std::string wanted = read_file(expected.settings.icons[i]);
            r.expect(wanted == std::string(reinterpret_cast<const char *>(png), icon->size),
                     "icon " + std::to_string(i + 1), "must be the bytes of " + expected.settings.icons[i].string());
        }
    }
}

// One node of a version resource: length, value length, type, key, value,
// children, each part padded to 4 bytes from the resource's start.
struct version_node {
    uint16_t value_length = 0, type = 0;
    std::u16string key;
    size_t value = 0; // offset of the value
    std::vector<version_node> children;
};

bool parse_version_node(const uint8_t *data, size_t at, size_t limit, version_node &node)
{
    if (at + 6 > limit)
        return false;
    size_t length = pe::u16(data + at);
    node.value_length = pe::u16(data + at + 2);
    node.type = pe::u16(data + at + 4);
    size_t end = at + length;
    if (length < 6 || end > limit)
        return false;
    size_t p = at + 6;
    for (; p + 2 <= end && pe::u16(data + p) != 0; p += 2)
        node.key += static_cast<char16_t>(pe::u16(data + p));
    p = (p + 2 + 3) / 4 * 4;
    node.value = p;
    size_t value_bytes = node.type == 1 ? 2 * size_t(node.value_length) : node.value_length;
    if (p + value_bytes > end)
        return false;
    for (p = (p + value_bytes + 3) / 4 * 4; p < end; ) {
        version_node child;
        if (!parse_version_node(data, p, end, child))
            return false;
        p = (p + pe::u16(data + p) + 3) / 4 * 4;
        node.children.push_back(child);
    }
    return true;
}

std::u16string text_value(const uint8_t *data, const version_node &node)
{
    std::u16string text;
    for (size_t i = 0; i < node.value_length && pe::u16(data + node.value + 2 * i) != 0; ++i)
        text += static_cast<char16_t>(pe::u16(data + node.value + 2 * i));
    return text;
}

std::string narrow(const std::u16string &text)
{
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

void check_version(const std::vector<resource> &list, const expectations &expected, report &r)
{
    const resource *version = find(list, type_version, 1);
    version_node root;
    if (!r.expect(version != nullptr && version->data != nullptr &&
                      parse_version_node(version->data, 0, version->size, root),
                  "version resource 1", "must be present and well formed"))
        return;
    const uint8_t *data = version->data;
    r.expect(root.key == u"VS_VERSION_INFO" && root.value_length == 52 && root.type == 0, "version resource root",
             "must be VS_VERSION_INFO with a 52-byte fixed part");
    if (root.value + 52 > version->size)
        return;
    const uint8_t *fixed = data + root.value;
    const auto &v = expected.settings.version;
    uint32_t high = uint32_t(v[0]) << 16 | v[1], low = uint32_t(v[2]) << 16 | v[3];
    struct field {
        const char *name;
        size_t offset;
        uint32_t value;
    };
    for (const field &f : {field{"signature", 0, 0xFEEF04BD}, field{"structure version", 4, 0},
                           field{"file version (high)", 8, high}, field{"file version (low)", 12, low},
                           field{"product version (high)", 16, high}, field{"product version (low)", 20, low},
                           field{"flags mask", 24, 0x3F}, field{"flags", 28, 0}, field{"operating system", 32, 4},
                           field{"file type", 36, 1}, field{"file subtype", 40, 0}, field{"file date (high)", 44, 0},
                           field{"file date (low)", 48, 0}})
        r.expect(pe::u32(fixed + f.offset) == f.value, std::string("version fixed part: ") + f.name,
                 "is " + hex(pe::u32(fixed + f.offset)) + ", must be " + hex(f.value));

    bool shape = root.children.size() == 2 && root.children[0].key == u"StringFileInfo" &&
                 root.children[1].key == u"VarFileInfo";
    if (!r.expect(shape, "version resource children", "must be StringFileInfo, then VarFileInfo"))
        return;
    const version_node &strings = root.children[0];
    if (!r.expect(strings.children.size() == 1 && strings.children[0].key == u"000004b0", "version string table",
                  "must be one table, 000004b0"))
        return;
    std::string version_string = version_text(v);
    std::string file = expected.settings.internal_name + ".exe";
    const std::pair<std::u16string, std::string> wanted[] = {
        {u"CompanyName", expected.settings.company}, {u"ProductName", expected.settings.product},
        {u"ProductVersion", version_string},         {u"FileVersion", version_string},
        {u"OriginalFilename", file},                  {u"InternalName", expected.settings.internal_name},
        {u"FileDescription", file_description(expected.settings)}};
    const auto &table = strings.children[0].children;
    r.expect(table.size() == std::size(wanted), "version strings", "must be exactly seven");
    for (size_t i = 0; i < std::min(table.size(), std::size(wanted)); ++i) {
        std::string item = "version string " + std::to_string(i + 1) + " (" + narrow(wanted[i].first) + ")";
        r.expect(table[i].key == wanted[i].first, item, "key is " + narrow(table[i].key));
        r.expect(table[i].type == 1 && text_value(data, table[i]) == utf8_to_utf16(wanted[i].second), item,
                 "value must be '" + wanted[i].second + "'");
    }
    const version_node &vars = root.children[1];
    bool translation = vars.children.size() == 1 && vars.children[0].key == u"Translation" &&
                       vars.children[0].value_length == 4 && vars.children[0].type == 0 &&
                       pe::u32(data + vars.children[0].value) == 0x04B00000;
    r.expect(translation, "version translation", "must be language 0x0000, code page 0x04B0, and nothing else");
}

xml_element element(std::string name, std::vector<std::pair<std::string, std::string>> attributes,
                    std::vector<xml_element> children = {}, std::string text = "")
{
    return {std::move(name), std::move(attributes), std::move(text), std::move(children)};
}

xml_element wanted_manifest()
{
    std::vector<xml_element> systems;
    for (const char *id : {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        systems.push_back(element("supportedOS", {{"Id", id}}));
    const std::string v3 = "urn:schemas-microsoft-com:asm.v3";
    return element(
        "assembly", {{"xmlns", "urn:schemas-microsoft-com:asm.v1"}, {"manifestVersion", "1.0"}},
        {element("assemblyIdentity", {{"type", "win32"}, {"name", "Mini"}, {"version", "1.0.0.0"}}),
         element("compatibility", {{"xmlns", "urn:schemas-microsoft-com:compatibility.v1"}},
                 {element("application", {}, systems)}),
         element("application", {{"xmlns", v3}},
                 {element("windowsSettings", {},
                          {element("longPathAware", {{"xmlns", "http://schemas.microsoft.com/SMI/2016/WindowsSettings"}},
                                   {}, "true")})}),
         element("dependency", {},
                 {element("dependentAssembly", {},
                          {element("assemblyIdentity", {{"type", "win32"},
                                                        {"name", "Microsoft.Windows.Common-Controls"},
                                                        {"version", "6.0.0.0"},
                                                        {"processorArchitecture", "*"},
                                                        {"publicKeyToken", "6595b64144ccf1df"},
                                                        {"language", "*"}})})}),
         element("trustInfo", {{"xmlns", v3}},
                 {element("security", {},
                          {element("requestedPrivileges", {},
                                   {element("requestedExecutionLevel",
                                            {{"level", "asInvoker"}, {"uiAccess", "false"}})})})})});
}

void check_manifest(const std::vector<resource> &list, report &r)
{
    const resource *manifest = find(list, type_manifest, 1);
    if (!r.expect(manifest != nullptr && manifest->data != nullptr, "manifest resource 1", "must be present"))
        return;
    std::string text(reinterpret_cast<const char *>(manifest->data), manifest->size);
    r.expect(is_utf8(text) && text.compare(0, 3, "\xEF\xBB\xBF") != 0, "manifest is UTF-8 without a byte-order mark");
    r.expect(text.find_first_of("\r\n") == std::string::npos, "manifest is one line");
    r.expect(text.compare(0, 5, "<?xml") != 0, "manifest has no XML declaration");
    std::string difference;
    try {
        difference = xml_difference(parse_xml(text), wanted_manifest());
    } catch (const std::exception &e) {
        difference = std::string("not the XML expected: ") + e.what();
    }
    r.expect(difference.empty(), "manifest elements and attributes", difference);
}

} // namespace

void check_resources(const image_file &image, const expectations &expected, report &r)
{
    std::vector<resource> list = resource_list(image, r);
    std::string kinds;
    bool neutral = true, code_page = true;
    for (const resource &res : list) {
        kinds += std::to_string(res.type) + "/" + std::to_string(res.name) + " ";
        neutral = neutral && res.language == 0;
        code_page = code_page && res.code_page == 0;
    }
    r.expect(kinds == "3/1 3/2 3/3 3/4 3/5 3/6 3/7 14/1 16/1 24/1 ", "resources (type/number)",
             "are " + (kinds.empty() ? "none, " : kinds) + "must be icons 1-7, icon group 1, version 1, manifest 1, each once");
    r.expect(neutral, "resources are language neutral");
    r.expect(code_page, "resource data entries name no code page");
    check_icons(list, expected, r);
    check_version(list, expected, r);
    check_manifest(list, r);
}

void check_compiled_texts(const image_file &image, const expectations &expected, report &r)
{
    // The texts of {COMPANY}, {PRODUCT} and the versions: NUL-terminated
    // UTF-16 in .rdata after the payload, equal to the version resource's.
    const pe::section *rdata = image.section(".rdata");
    if (rdata == nullptr)
        return;
    size_t from = rdata->raw_offset + (expected.payload ? expected.payload->size() : 0);
    std::string haystack(image.bytes.begin() + std::min(from, image.bytes.size()),
                         image.bytes.begin() + std::min<size_t>(rdata->raw_offset + rdata->raw_size, image.bytes.size()));
    for (auto [name, text] : {std::pair{"COMPANY", expected.settings.company},
                              std::pair{"PRODUCT", expected.settings.product},
                              std::pair{"VERSION", version_text(expected.settings.version)}}) {
        std::string needle = utf16le_bytes(utf8_to_utf16(text)) + std::string(2, '\0');
        r.expect(haystack.find(needle) != std::string::npos, std::string("compiled-in text of {") + name + "}",
                 "must be '" + text + "' as in the version resource");
    }
}

} // namespace tarvek::check
