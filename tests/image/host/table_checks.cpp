// Thread-local storage, the load configuration, the unwind table and the
// base relocations.
#include <algorithm>

#include "image_file.hpp"

namespace tarvek::check {

namespace {

uint64_t image_base(const image_file &image)
{
    return pe::u64(image.optional() + pe::optional::image_base);
}

// The address `va` as an RVA, or 0 when it lies below the image.
uint32_t rva_of(const image_file &image, uint64_t va)
{
    uint64_t base = image_base(image);
    return va >= base && va - base < 0x100000000ull ? static_cast<uint32_t>(va - base) : 0;
}

} // namespace

void check_thread_local_storage(const image_file &image, report &r)
{
    constexpr size_t directory_size = 40;
    uint32_t rva = image.directory_rva(pe::directory::tls);
    const uint8_t *directory = image.at(rva, directory_size);
    if (!r.expect(directory != nullptr && image.directory_size(pe::directory::tls) == directory_size,
                  "thread-local-storage directory", "must be 40 bytes in .rdata"))
        return;
    uint32_t start = rva_of(image, pe::u64(directory)), end = rva_of(image, pe::u64(directory + 8));
    uint32_t index = rva_of(image, pe::u64(directory + 16)), callbacks = rva_of(image, pe::u64(directory + 24));
    bool template_ok = end == start + 8 && image.inside(start, 8, ".tls");
    const uint8_t *bytes = template_ok ? image.at(start, 8) : nullptr;
    r.expect(bytes != nullptr && std::all_of(bytes, bytes + 8, [](uint8_t b) { return b == 0; }),
             "thread-local template", "must be 8 zero bytes in .tls");
    constexpr uint32_t alignment_bits = 0x00F00000;
    r.expect(pe::u32(directory + 32) == 0 && (pe::u32(directory + 36) & ~alignment_bits) == 0,
             "thread-local zero fill and characteristics", "must be 0 but for the template's alignment");
    r.expect(image.inside(index, 4, ".data"), "thread-local index slot", "must lie in .data");

    const uint8_t *list = image.at(callbacks, 24);
    if (!r.expect(list != nullptr && image.inside(callbacks, 24, ".rdata"), "thread-local callbacks",
                  "the list must lie in .rdata"))
        return;
    bool two = pe::u64(list + 16) == 0;
    for (int i = 0; i < 2; ++i) {
        uint32_t callback = rva_of(image, pe::u64(list + 8 * i));
        two = two && image.inside(callback, 1, ".text");
    }
    r.expect(two, "thread-local callbacks", "must be two functions in .text, then a null");
}

// One setting and nothing else: the libraries that the image's imports
// import are looked for in the system folder alone.
void check_load_configuration(const image_file &image, report &r)
{
    constexpr uint32_t size = 0x70;
    constexpr size_t dependent_load_flags = 0x4E;
    constexpr uint16_t search_system32 = 0x800;
    uint32_t rva = image.directory_rva(pe::directory::load_config);
    const uint8_t *config = image.at(rva, size);
    if (!r.expect(config != nullptr && image.directory_size(pe::directory::load_config) == size &&
                      pe::u32(config) == size && image.inside(rva, size, ".rdata"),
                  "load configuration directory", "must be 0x70 bytes in .rdata, and say so in its Size"))
        return;
    r.expect(pe::u16(config + dependent_load_flags) == search_system32, "dependent load flags",
             "are " + hex(pe::u16(config + dependent_load_flags)) + ", must be 0x800 (the system folder alone)");
    bool nothing_else = true;
    for (size_t i = 4; i < size; ++i)
        if (i != dependent_load_flags && i != dependent_load_flags + 1)
            nothing_else = nothing_else && config[i] == 0;
    r.expect(nothing_else, "load configuration",
             "must hold nothing else: no global flags, security cookie or control-flow guard");
}

void check_unwind_table(const image_file &image, report &r)
{
    constexpr size_t entry_size = 12;
    uint32_t size = image.directory_size(pe::directory::exception);
    const uint8_t *table = image.at(image.directory_rva(pe::directory::exception), size);
    if (!r.expect(table != nullptr && size > 0 && size % entry_size == 0, "unwind table",
                  "must be whole 12-byte entries in .pdata"))
        return;
    uint32_t previous_end = 0;
    bool ordered = true, unwind_in_rdata = true;
    uint32_t entry = pe::u32(image.optional() + pe::optional::address_of_entry_point);
    bool entry_covered = false;
    for (size_t i = 0; i < size / entry_size; ++i) {
        uint32_t begin = pe::u32(table + i * entry_size), end = pe::u32(table + i * entry_size + 4);
        uint32_t unwind = pe::u32(table + i * entry_size + 8);
        ordered = ordered && begin >= previous_end && begin < end && image.inside(begin, end - begin, ".text");
        unwind_in_rdata = unwind_in_rdata && image.inside(unwind, 4, ".rdata");
        entry_covered = entry_covered || (entry >= begin && entry < end);
        previous_end = end;
    }
    r.expect(ordered, "unwind table entries", "must be ordered, non-empty ranges of .text");
    r.expect(unwind_in_rdata, "unwind data", "must lie in .rdata");
    if (entry != 0)
        r.expect(entry_covered, "the entry point has unwind data");
}

void check_relocations(const image_file &image, report &r)
{
    constexpr unsigned dir64 = 10, padding = 0;
    uint32_t size = image.directory_size(pe::directory::base_relocation);
    const uint8_t *blocks = image.at(image.directory_rva(pe::directory::base_relocation), size);
    if (!r.expect(blocks != nullptr, "base relocations", "must be stored in .reloc"))
        return;
    bool well_formed = true, only_dir64 = true, only_data = true;
    uint32_t previous_page = 0;
    for (uint32_t at = 0; at < size && well_formed;) {
        uint32_t page = pe::u32(blocks + at), block_size = pe::u32(blocks + at + 4);
        well_formed = block_size >= 8 && block_size % 2 == 0 && at + block_size <= size &&
                      (at == 0 || page > previous_page);
        for (uint32_t k = 8; well_formed && k < block_size; k += 2) {
            unsigned fixup = pe::u16(blocks + at + k);
            unsigned type = fixup >> 12;
            uint32_t target = page + (fixup & 0xFFF);
            if (type == padding)
                continue;
            only_dir64 = only_dir64 && type == dir64;
            const pe::section *s = image.section_at(target);
            only_data = only_data && s != nullptr && s->name != ".text";
        }
        previous_page = page;
        at += block_size;
    }
    r.expect(well_formed, "base relocation blocks", "must be whole blocks in ascending page order");
    r.expect(only_dir64, "base relocations are 64-bit fix-ups");
    r.expect(only_data, "base relocations fix pointers in data only, none in code");
}

} // namespace tarvek::check
