#include "pack/launcher_payload.hpp"

#include "common/error.hpp"
#include "image/pe_format.hpp"

namespace tarvek {

launcher_payload locate_payload(std::span<const uint8_t> launcher, const std::string &shown)
{
    const pe::headers headers = pe::read_headers(launcher, shown);
    const pe::section *rdata = nullptr;
    for (const pe::section &section : headers.sections)
        if (section.name == ".rdata")
            rdata = &section;
    if (rdata == nullptr)
        throw tool_error(shown + ": no .rdata section, so no payload");
    if (uint64_t{rdata->raw_offset} + rdata->raw_size > launcher.size())
        throw tool_error(shown + ": its .rdata section runs past the end of the file");
    return {rdata->raw_offset, read_stored_payload(launcher.subspan(rdata->raw_offset, rdata->raw_size), shown),
            pe::u16(&launcher[headers.optional_offset + pe::optional::subsystem])};
}

std::string subsystem_name(uint16_t subsystem)
{
    if (subsystem == subsystem_windowed)
        return "windowed";
    if (subsystem == subsystem_console)
        return "console";
    return "subsystem " + std::to_string(subsystem);
}

} // namespace tarvek
