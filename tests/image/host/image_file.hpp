// A launcher image read whole for the image check, and the record of what
// the check found.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "image/launcher_settings.hpp"
#include "image/pe_format.hpp"

namespace tarvek::check {

struct image_file {
    std::vector<uint8_t> bytes;
    pe::headers headers;

    const uint8_t *optional() const { return &bytes[headers.optional_offset]; }
    // The section named `name`, or null.
    const pe::section *section(const std::string &name) const;
    // The section whose memory holds `rva`, or null.
    const pe::section *section_at(uint32_t rva) const;
    // The file bytes behind `size` bytes of memory at `rva`, or null when
    // they are not all stored in the file within one section.
    const uint8_t *at(uint32_t rva, size_t size) const;
    // Whether [rva, rva + size) lies in the memory of the section `name`.
    bool inside(uint32_t rva, uint64_t size, const std::string &name) const;
    // The NUL-terminated 8-bit text at `rva`, or nullopt when it runs out of
    // the file or past 4096 bytes.
    std::optional<std::string> text_at(uint32_t rva) const;
    // A data directory: its address and size.
    uint32_t directory_rva(size_t index) const;
    uint32_t directory_size(size_t index) const;
};

image_file read_image(const std::filesystem::path &path);

// What the image must hold beyond the fixed rules.
struct expectations {
    launcher_settings settings;         // internal name and icons set when known
    std::optional<std::string> payload; // the stored payload's bytes
    std::optional<uint32_t> timestamp;
    // Library -> functions it may import, from the allowed import table.
    std::map<std::string, std::vector<std::string>> allowed_imports;
    // Set for an adapter library: the program it runs (UTF-8), which its
    // export tarvek_run_program must name. The image is then checked as a
    // library, not as a launcher.
    std::optional<std::string> run_program;
    // A console launcher (subsystem 3) instead of a windowed one.
    bool console = false;
};

// The allowed import table: "LIBRARY FUNCTION" lines, '#' comments.
std::map<std::string, std::vector<std::string>> read_allowed_imports(const std::filesystem::path &path);

// Counts the items checked; prints each failure as "FAIL: item: detail".
class report {
public:
    bool expect(bool ok, const std::string &item, const std::string &detail = "");
    void note(const std::string &text);
    int checked() const { return checked_; }
    int failed() const { return failed_; }

private:
    int checked_ = 0;
    int failed_ = 0;
};

std::string hex(uint64_t value);

// The parts of the check; each adds its items to the report.
void check_headers(const image_file &image, const expectations &expected, report &r);
void check_sections(const image_file &image, const expectations &expected, report &r);
void check_thread_local_storage(const image_file &image, report &r);
void check_load_configuration(const image_file &image, report &r);
void check_unwind_table(const image_file &image, report &r);
void check_relocations(const image_file &image, report &r);
void check_imports(const image_file &image, const expectations &expected, report &r);
void check_resources(const image_file &image, const expectations &expected, report &r);
void check_compiled_texts(const image_file &image, const expectations &expected, report &r);
void check_exports(const image_file &image, const expectations &expected, report &r);

} // namespace tarvek::check
