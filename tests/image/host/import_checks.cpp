// The import list against the allowed import table.
#include <algorithm>
#include <set>

#include "image_file.hpp"

namespace tarvek::check {

void check_imports(const image_file &image, const expectations &expected, report &r)
{
    constexpr size_t descriptor_size = 20;
    constexpr uint64_t by_ordinal = 1ull << 63;
    uint32_t directory = image.directory_rva(pe::directory::import_table);
    uint32_t iat = image.directory_rva(pe::directory::import_address_table);
    uint32_t iat_size = image.directory_size(pe::directory::import_address_table);
    std::set<std::string> libraries;
    bool readable = true, by_name = true, iat_covered = true;
    size_t functions = 0;
    for (uint32_t at = directory;; at += descriptor_size) {
        const uint8_t *d = image.at(at, descriptor_size);
        if (d == nullptr) {
            readable = false;
            break;
        }
        if (std::all_of(d, d + descriptor_size, [](uint8_t b) { return b == 0; }))
            break;
        uint32_t names = pe::u32(d), library_name = pe::u32(d + 12), addresses = pe::u32(d + 16);
        std::optional<std::string> library = image.text_at(library_name);
        if (!library || names == 0) {
            readable = false;
            break;
        }
        r.expect(libraries.insert(*library).second, "import of " + *library, "listed twice");
        auto allowed = expected.allowed_imports.find(*library);
        r.expect(allowed != expected.allowed_imports.end(), "import library " + *library,
                 "is not in the allowed import table");
        for (uint32_t k = 0;; k += 8) {
            const uint8_t *entry = image.at(names + k, 8);
            if (entry == nullptr) {
                readable = false;
                break;
            }
            uint64_t value = pe::u64(entry);
            if (value == 0) {
                iat_covered = iat_covered && addresses >= iat && addresses + k + 8 <= uint64_t(iat) + iat_size;
                break;
            }
            ++functions;
            if (value & by_ordinal) {
                by_name = false;
                continue;
            }
            std::optional<std::string> function = image.text_at(static_cast<uint32_t>(value) + 2);
            if (!function) {
                readable = false;
                break;
            }
            if (allowed != expected.allowed_imports.end())
                r.expect(std::find(allowed->second.begin(), allowed->second.end(), *function) !=
                             allowed->second.end(),
                         "import " + *library + "!" + *function, "is not in the allowed import table");
        }
    }
    r.expect(readable, "import directory", "must be readable to its end");
    r.expect(by_name, "imports are by name, none by ordinal");
    r.expect(iat_covered, "import address table directory covers every library's addresses");
    r.expect(functions > 0, "the image imports functions");
    for (const auto &[library, list] : expected.allowed_imports)
        if (libraries.count(library) == 0)
            r.note("nothing imported from " + library + ", which the table allows");
}

} // namespace tarvek::check
