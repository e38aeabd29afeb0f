// The file and optional headers, the data directories, the sections and the
// place of the payload; of a launcher, or of an adapter library.
#include <algorithm>
#include <cstring>
#include <span>

#include "image_file.hpp"

namespace tarvek::check {

namespace {

constexpr uint32_t page = 4096;
constexpr uint32_t file_alignment = 512;

uint64_t round_up(uint64_t value, uint64_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

template <typename T> bool equal(report &r, const std::string &item, T found, T wanted)
{
    return r.expect(found == wanted, item, "is " + hex(found) + ", must be " + hex(wanted));
}

struct section_rule {
    const char *name;
    uint32_t characteristics;
};

// In this order; code readable and executable, .reloc discardable.
constexpr section_rule section_rules[] = {
    {".text", 0x60000020},  {".rdata", 0x40000040}, {".data", 0xC0000040}, {".pdata", 0x40000040},
    {".tls", 0xC0000040},   {".rsrc", 0x40000040},  {".reloc", 0x42000040},
};
// An adapter library has neither thread-local storage nor resources.
constexpr section_rule library_section_rules[] = {
    {".text", 0x60000020}, {".rdata", 0x40000040}, {".data", 0xC0000040}, {".pdata", 0x40000040},
    {".reloc", 0x42000040},
};

std::span<const section_rule> rules_for(const expectations &expected)
{
    if (expected.run_program)
        return library_section_rules;
    return section_rules;
}

struct present_rule {
    size_t index;
    const char *name;
    const char *section;
};

// The directories in `present` must be there, in their section; every
// other one must be absent.
void check_directories(const image_file &image, std::span<const present_rule> present, report &r)
{
    namespace d = pe::directory;
    constexpr std::pair<size_t, const char *> names[] = {
        {d::export_table, "export directory"}, {d::import_table, "import directory"},
        {d::resource, "resource directory"}, {d::exception, "exception directory"},
        {d::certificate, "certificate directory"}, {d::base_relocation, "base relocation directory"},
        {d::debug, "debug directory"}, {d::architecture, "architecture directory"},
        {d::global_pointer, "global pointer directory"}, {d::tls, "thread-local-storage directory"},
        {d::load_config, "load configuration directory"}, {d::bound_import, "bound import directory"},
        {d::import_address_table, "import address table"}, {d::delay_import, "delay import directory"},
        {d::clr_runtime, "runtime (managed code) header"}, {d::reserved, "reserved directory"}};
    for (auto [index, name] : names) {
        uint32_t rva = image.directory_rva(index), size = image.directory_size(index);
        auto rule = std::find_if(present.begin(), present.end(), [&](const present_rule &p) { return p.index == index; });
        if (rule != present.end())
            r.expect(size != 0 && image.inside(rva, size, rule->section), name,
                     "must be present and lie in " + std::string(rule->section));
        else
            r.expect(rva == 0 && size == 0, name, "must be absent");
    }
}

} // namespace

void check_headers(const image_file &image, const expectations &expected, report &r)
{
    const bool library = expected.run_program.has_value();
    const uint8_t *coff = &image.bytes[image.headers.coff_offset];
    const uint8_t *opt = image.optional();
    namespace o = pe::optional;
    equal<uint32_t>(r, "machine", pe::u16(coff + pe::coff::machine), 0x8664);
    if (library)
        equal<uint32_t>(r, "file characteristics (executable, large-address aware, library, relocations kept)",
                        pe::u16(coff + pe::coff::characteristics), 0x2022);
    else
        equal<uint32_t>(r, "file characteristics (executable, large-address aware, relocations kept)",
                        pe::u16(coff + pe::coff::characteristics), 0x0022);
    r.expect(pe::u32(coff + pe::coff::pointer_to_symbol_table) == 0 && pe::u32(coff + pe::coff::number_of_symbols) == 0,
             "no symbol table");
    equal<uint32_t>(r, "optional header size", pe::u16(coff + pe::coff::size_of_optional_header), o::size);
    uint32_t stamp = pe::u32(coff + pe::coff::time_date_stamp);
    if (expected.timestamp)
        equal(r, "time stamp", stamp, *expected.timestamp);
    else
        r.expect(stamp != 0, "time stamp", "is 0, must be the build time");

    equal<uint32_t>(r, "optional header magic (PE32+)", pe::u16(opt + o::magic), 0x20B);
    if (expected.console)
        equal<uint32_t>(r, "subsystem (Windows console)", pe::u16(opt + o::subsystem), 3);
    else
        equal<uint32_t>(r, "subsystem (Windows GUI)", pe::u16(opt + o::subsystem), 2);
    for (auto [field, name] : {std::pair{o::major_os_version, "operating-system version"},
                               std::pair{o::major_subsystem_version, "subsystem version"}})
        r.expect(pe::u16(opt + field) == 6 && pe::u16(opt + field + 2) == 0, name, "must be 6.0");
    r.expect(pe::u16(opt + o::major_image_version) == 0 && pe::u16(opt + o::minor_image_version) == 0,
             "image version", "must be 0.0");
    equal<uint64_t>(r, "image base", pe::u64(opt + o::image_base), library ? 0x180000000 : 0x140000000);
    equal<uint32_t>(r, "section alignment", pe::u32(opt + o::section_alignment), page);
    equal<uint32_t>(r, "file alignment", pe::u32(opt + o::file_alignment), file_alignment);
    if (!library) {
        // A library runs on the stack and heap of the process that loads it.
        equal<uint64_t>(r, "stack reserve", pe::u64(opt + o::size_of_stack_reserve), 0x1000000);
        equal<uint64_t>(r, "stack commit", pe::u64(opt + o::size_of_stack_commit), 0x1000);
        equal<uint64_t>(r, "heap reserve", pe::u64(opt + o::size_of_heap_reserve), 0x100000);
        equal<uint64_t>(r, "heap commit", pe::u64(opt + o::size_of_heap_commit), 0x1000);
    }
    // High-entropy 64-bit addresses, relocatable at load, no-execute data;
    // a launcher also terminal-server aware.
    equal<uint32_t>(r, "DLL characteristics", pe::u16(opt + o::dll_characteristics), library ? 0x0160 : 0x8160);
    equal<uint32_t>(r, "checksum", pe::u32(opt + o::check_sum), 0);
    equal<uint32_t>(r, "Win32 version value", pe::u32(opt + o::win32_version_value), 0);
    equal<uint32_t>(r, "loader flags", pe::u32(opt + o::loader_flags), 0);
    equal<uint32_t>(r, "number of data directories", pe::u32(opt + o::number_of_rva_and_sizes), 16);

    uint32_t headers_size = pe::u32(opt + o::size_of_headers);
    r.expect(headers_size % file_alignment == 0 && headers_size >= image.headers.end && headers_size <= page,
             "size of headers", hex(headers_size) + " must be a multiple of 512 that holds the section table");
    if (!image.headers.sections.empty()) {
        const pe::section &last = image.headers.sections.back();
        equal<uint64_t>(r, "size of image", pe::u32(opt + o::size_of_image),
                        round_up(uint64_t(last.virtual_address) + last.virtual_size, page));
    }
    uint32_t entry = pe::u32(opt + o::address_of_entry_point);
    if (library)
        equal<uint32_t>(r, "entry point (none: nothing runs when the library is loaded)", entry, 0);
    else
        r.expect(image.inside(entry, 1, ".text"), "entry point", hex(entry) + " must lie in .text");

    // Present: import, resource, exception, base relocation, thread-local
    // storage, load configuration, import address table; in a library
    // export instead of resource, thread-local storage and load
    // configuration. Everything else absent.
    namespace d = pe::directory;
    static constexpr present_rule launcher_directories[] = {
        {d::import_table, "import directory", ".rdata"}, {d::resource, "resource directory", ".rsrc"},
        {d::exception, "exception directory", ".pdata"}, {d::base_relocation, "base relocation directory", ".reloc"},
        {d::tls, "thread-local-storage directory", ".rdata"},
        {d::load_config, "load configuration directory", ".rdata"},
        {d::import_address_table, "import address table", ".rdata"}};
    static constexpr present_rule library_directories[] = {
        {d::export_table, "export directory", ".rdata"}, {d::import_table, "import directory", ".rdata"},
        {d::exception, "exception directory", ".pdata"}, {d::base_relocation, "base relocation directory", ".reloc"},
        {d::import_address_table, "import address table", ".rdata"}};
    if (library)
        check_directories(image, library_directories, r);
    else
        check_directories(image, launcher_directories, r);
    for (auto [index, name] : {std::pair{d::resource, ".rsrc"}, std::pair{d::exception, ".pdata"},
                               std::pair{d::base_relocation, ".reloc"}}) {
        if (library && index == d::resource)
            continue;
        const pe::section *s = image.section(name);
        r.expect(s != nullptr && image.directory_rva(index) == s->virtual_address, std::string(name) + " directory",
                 "must start its section");
    }
}

void check_sections(const image_file &image, const expectations &expected, report &r)
{
    const auto &sections = image.headers.sections;
    std::span<const section_rule> rules = rules_for(expected);
    std::string names, wanted;
    for (const pe::section &s : sections)
        names += s.name + " ";
    for (const section_rule &rule : rules)
        wanted += std::string(rule.name) + " ";
    bool expected_sections = r.expect(names == wanted, "sections and their order", "are " + names + "must be " + wanted);

    uint64_t next_address = page;
    uint64_t next_offset = pe::u32(image.optional() + pe::optional::size_of_headers);
    for (size_t i = 0; i < sections.size(); ++i) {
        const pe::section &s = sections[i];
        if (expected_sections)
            equal(r, s.name + " access", s.characteristics, rules[i].characteristics);
        r.expect(s.virtual_address == next_address, s.name + " address",
                 hex(s.virtual_address) + " must follow the previous section at " + hex(next_address));
        next_address = round_up(uint64_t(s.virtual_address) + s.virtual_size, page);
        r.expect(s.raw_size % file_alignment == 0 && s.raw_size <= round_up(s.virtual_size, page),
                 s.name + " stored size", hex(s.raw_size) + " must be a multiple of 512 within its pages");
        if (s.raw_size == 0)
            continue;
        r.expect(s.raw_offset == next_offset, s.name + " file offset",
                 hex(s.raw_offset) + " must follow the previous section at " + hex(next_offset));
        next_offset = uint64_t(s.raw_offset) + s.raw_size;
    }
    equal<uint64_t>(r, "file size (nothing after the last section)", image.bytes.size(), next_offset);

    // The payload's place in a launcher.
    const pe::section *rdata = expected.run_program ? nullptr : image.section(".rdata");
    if (rdata != nullptr) {
        r.expect(rdata->raw_offset % page == 0, ".rdata file offset is a multiple of 4096", hex(rdata->raw_offset));
        if (expected.payload) {
            const std::string &payload = *expected.payload;
            bool stored = rdata->virtual_size >= payload.size() && rdata->raw_size >= payload.size() &&
                          std::memcmp(payload.data(), &image.bytes[rdata->raw_offset], payload.size()) == 0;
            r.expect(stored, "the payload byte for byte at the start of .rdata");
        }
    }
    if (const pe::section *data = image.section(".data"))
        r.expect(data->virtual_size > data->raw_size, ".data buffers are zero fill, not stored");
    if (const pe::section *tls = image.section(".tls"))
        equal<uint32_t>(r, ".tls size (the 8-byte template)", tls->virtual_size, 8);
}

} // namespace tarvek::check
