// The export table of an adapter library: run_code in the code, and
// tarvek_run_program, the program it runs, in read-only data, by name.
#include <algorithm>

#include "common/error.hpp"
#include "common/utf.hpp"
#include "image_file.hpp"

namespace tarvek::check {

namespace {

constexpr size_t export_directory_size = 40;

struct exported {
    std::string name;
    uint32_t rva;
};

// The named exports in the order of the name table; nullopt when the table
// is not readable within the file.
std::optional<std::vector<exported>> named_exports(const image_file &image)
{
    const uint8_t *directory = image.at(image.directory_rva(pe::directory::export_table), export_directory_size);
    if (directory == nullptr)
        return std::nullopt;
    uint32_t functions = pe::u32(directory + 20), names = pe::u32(directory + 24);
    const uint8_t *addresses = image.at(pe::u32(directory + 28), 4 * functions);
    const uint8_t *name_pointers = image.at(pe::u32(directory + 32), 4 * names);
    const uint8_t *ordinals = image.at(pe::u32(directory + 36), 2 * names);
    if (addresses == nullptr || name_pointers == nullptr || ordinals == nullptr)
        return std::nullopt;
    std::vector<exported> list;
    for (uint32_t i = 0; i < names; ++i) {
        std::optional<std::string> name = image.text_at(pe::u32(name_pointers + 4 * i));
        uint16_t index = pe::u16(ordinals + 2 * i);
        if (!name || index >= functions)
            return std::nullopt;
        list.push_back({*name, pe::u32(addresses + 4 * index)});
    }
    return list;
}

// The NUL-terminated UTF-16 text at `rva` as UTF-16LE bytes, or nullopt.
std::optional<std::string> utf16_text_at(const image_file &image, uint32_t rva)
{
    std::string bytes;
    for (;; rva += 2) {
        const uint8_t *unit = image.at(rva, 2);
        if (unit == nullptr || bytes.size() > 2 * 32768)
            return std::nullopt;
        if (pe::u16(unit) == 0)
            return bytes;
        bytes.append(reinterpret_cast<const char *>(unit), 2);
    }
}

} // namespace

void check_exports(const image_file &image, const expectations &expected, report &r)
{
    std::optional<std::vector<exported>> list = named_exports(image);
    if (!r.expect(list.has_value(), "export table", "must be readable within the file"))
        return;
    std::string names;
    for (const exported &e : *list)
        names += e.name + " ";
    if (!r.expect(names == "run_code tarvek_run_program ", "exports",
                  "are " + names + "must be run_code and tarvek_run_program, by name"))
        return;
    const exported &run_code = (*list)[0], &program = (*list)[1];
    r.expect(image.inside(run_code.rva, 1, ".text"), "run_code", "must lie in .text");
    r.expect(image.inside(program.rva, 2, ".rdata"), "tarvek_run_program", "must lie in .rdata");
    std::optional<std::string> text = utf16_text_at(image, program.rva);
    std::string wanted;
    try {
        wanted = utf16le_bytes(utf8_to_utf16(*expected.run_program));
    } catch (const tool_error &e) {
        r.expect(false, "the expected program", e.what());
        return;
    }
    r.expect(text == wanted, "tarvek_run_program", "must name the program '" + *expected.run_program + "'");
}

} // namespace tarvek::check
