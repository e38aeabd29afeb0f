// Linking a launcher image: a stored payload and per-application settings
// into one executable, from the prebuilt launcher parts, with lld-link and
// llvm-rc only (nothing is compiled). The build links its test launchers
// through the same function (tarvek-link-launcher), so tests and packing
// link alike.
//
// The parts folder (BUILD/win/launcher-parts, made by the Windows build;
// copy it whole to install it) holds:
//
//   link_settings.rsp      lld-link options of every launcher: header
//                          fields, entry point, no default libraries
//   console_link_settings.rsp
//                          the options that make a console launcher of it:
//                          the console subsystem and the console entry
//   objects/*.obj          the image's own start-up, thread-local storage,
//                          load configuration and runtime functions; all
//                          of them are linked
//   lib/*.lib              the launcher's code (launcher, payload reader,
//                          paths, error reports, decompressor) and the import
//                          libraries made from allowed_imports.txt; members
//                          are linked as needed
//   launcher.rc.in         the resource script, with @NAME@ places for the
//                          settings
//   launcher.manifest      the process manifest (one line of UTF-8 XML)
//   icons/icon-N.png       the default icon images, N = 16 ... 256
//   allowed_imports.txt    the table the import libraries were made from
//   adapter/               the adapter library, main.dll of a launcher that
//                          runs an ordinary program (image/adapter_link.hpp)
//
// The image: the payload is the first byte of .rdata, which starts at a file
// offset that is a multiple of 4096 (so that the loader can map it from the
// file instead of copying it); the header's time stamp is `timestamp`.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/launcher_settings.hpp"

namespace tarvek {

namespace parts {
inline constexpr const char *link_settings = "link_settings.rsp";
inline constexpr const char *console_link_settings = "console_link_settings.rsp";
inline constexpr const char *objects = "objects";
inline constexpr const char *libraries = "lib";
inline constexpr const char *resource_script = "launcher.rc.in";
inline constexpr const char *manifest = "launcher.manifest";
inline constexpr const char *icons = "icons";
inline constexpr const char *allowed_imports = "allowed_imports.txt";
// icons/icon-16.png and so on.
std::filesystem::path default_icon(const std::filesystem::path &parts, unsigned size);
// The files of `folder` with `extension` (".obj", ".lib"), sorted by name,
// so that every link sees them in the same order.
std::vector<std::filesystem::path> files_with_extension(const std::filesystem::path &folder, const char *extension);
} // namespace parts

struct launcher_link_request {
    std::filesystem::path parts;
    // A stored payload as tarvek-payload writes it; linked as it is.
    std::filesystem::path stored_payload;
    std::filesystem::path output;
    launcher_settings settings;
    // A console program (subsystem 3) with the console start-up, instead
    // of a windowed one; nothing else changes.
    bool console = false;
    // The header's time stamp; unset: build_timestamp().
    std::optional<uint32_t> timestamp;
    // False leaves .rdata where the linker puts it (512-byte file alignment
    // only): for measuring what the page alignment gains, never for use.
    bool page_align_rdata = true;
    // Further lld-link arguments (objects, options), after the parts'
    // objects and before their libraries, so that an object given here
    // stands in for a library member that defines the same symbols: for
    // benchmarks and tests that link the launcher with something of theirs.
    // (Options later on the command line win over link_settings.rsp.)
    std::vector<std::string> extra_linker_arguments;
};

// Links the launcher. The output appears whole or not at all. Throws
// tool_error with a message for the user.
void link_launcher(const launcher_link_request &request);

// What a failed lld-link of the parts' code most likely means.
extern const char *const link_failure_hint;

// SOURCE_DATE_EPOCH when it is set, otherwise the current time: what a
// rebuild needs to come out byte for byte the same.
uint32_t build_timestamp();
// Decimal seconds since 1970, 0 to 2^32 - 1; anything else throws
// tool_error naming `what` and the text.
uint32_t parse_timestamp(std::string_view text, const char *what = "time stamp");

// The prebuilt launcher parts: $TARVEK_LAUNCHER_PARTS, else
// ../lib/tarvek-onefile/launcher-parts beside this program (installed), else
// the build folder's win/launcher-parts (this program in host/pack/ or
// host/image/). Throws tool_error when there are none.
std::filesystem::path default_parts();

} // namespace tarvek
