// Linking the adapter library: the main library of a launcher that runs an
// ordinary program (adapter/ in the source). The launcher parts carry its
// code; one object written here names the program, and lld-link makes
// main.dll of them, as cmake/run_adapter.cmake describes:
//
//   lld-link @adapter/link_settings.rsp /timestamp:T /out:main.dll
//            program.obj adapter/objects/*.obj adapter/lib/*.lib lib/*.lib
//
// The library exports tarvek_run_program, the program's path relative to
// the unpacked folder, so that tools read from a launcher which program it
// runs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace tarvek {

namespace parts {
inline constexpr const char *adapter = "adapter";
} // namespace parts

// The symbol that names the program, as the adapter library exports it.
inline constexpr const char *run_program_symbol = "tarvek_run_program";

struct adapter_link_request {
    std::filesystem::path parts;
    // The program's path relative to the application folder, backslashes
    // between its folders, as the payload names it.
    std::u16string program;
    // The header's time stamp: the launcher's, so that the same input gives
    // the same bytes.
    uint32_t timestamp = 0;
    // A folder for the link's own files, and the library to write.
    std::filesystem::path work;
    std::filesystem::path output;
};

// Links the library. Throws tool_error, naming what is missing, when the
// parts have no adapter, or when the link fails.
void link_run_adapter(const adapter_link_request &request);

} // namespace tarvek
