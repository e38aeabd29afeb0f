// tarvek-link-launcher: links a launcher around a stored payload from the
// prebuilt launcher parts (the library's command line; the build links its
// test launchers with it, and ./tarvek pack --payload is this program).
#include <string>

#include "common/command_line.hpp"
#include "image/launcher_link.hpp"
#include "image/setting_options.hpp"

namespace {

constexpr const char *usage_text =
    "usage: tarvek-link-launcher --payload STORED -o OUTPUT.exe [--parts DIR] [OPTIONS]";

constexpr const char *description_text =
    R"(Links a Tarvek Onefile launcher: the stored payload STORED first in the image's read-only data, linked as it is, whatever its bytes and length; the launcher's prebuilt code from the launcher parts; the resources and the compiled-in texts of the settings. Runs lld-link and llvm-rc; compiles nothing.)";

constexpr const char *footer_text =
    R"(Exit status: 0 when the launcher was written; 1 when it could not be, and then nothing is left at OUTPUT.exe; 2 for a command line that is not understood.)";

struct command_line {
    CLI::App app{description_text, "tarvek-link-launcher"};
    tarvek::launcher_link_request request;
    std::string parts;
    std::string timestamp;
    bool keep_linker_layout = false;

    command_line()
    {
        tarvek::set_usage(app, usage_text);
        app.footer(footer_text);
        const char *link = "Link";
        app.add_option("--payload", request.stored_payload, "the stored payload (required)")
            ->type_name("STORED")->group(link);
        app.add_option("-o,--output", request.output, "the launcher to write (required); written whole or not at all")
            ->type_name("OUTPUT.exe")->group(link);
        app.add_option("--parts", parts,
                       "the launcher parts (default: $TARVEK_LAUNCHER_PARTS, else those installed beside this "
                       "program, else the build folder's win/launcher-parts)")
            ->type_name("DIR")->group(link);
        tarvek::add_setting_options(app, request.settings, "Settings (version resource and compiled-in texts alike)");
        app.add_option("--timestamp", timestamp,
                       "the header's time stamp in seconds since 1970 (default: $SOURCE_DATE_EPOCH, else the "
                       "current time)")
            ->type_name("N")->group("Image");
        app.add_flag("--console", request.console,
                     "a console program (subsystem 3, the console start-up) instead of a windowed one")
            ->group("Image");
        const char *measuring = "For measurements only";
        app.add_flag("--keep-linker-layout", keep_linker_layout,
                     "leave .rdata at the file offset the linker chose instead of a multiple of 4096")
            ->group(measuring);
        app.add_option("--linker-arg", request.extra_linker_arguments,
                       "one more lld-link argument, after the parts' objects and before their libraries (an object "
                       "given so stands in for a library member)")
            ->type_name("ARG")->allow_extra_args(false)->group(measuring);
    }

    int run()
    {
        if (request.stored_payload.empty() || request.output.empty())
            throw tarvek::usage_error{"--payload and --output are required"};
        request.parts = parts.empty() ? tarvek::default_parts() : std::filesystem::path(parts);
        if (!timestamp.empty())
            request.timestamp = tarvek::parse_timestamp(timestamp);
        request.page_align_rdata = !keep_linker_layout;
        tarvek::link_launcher(request);
        return 0;
    }
};

} // namespace

int main(int argc, char **argv)
{
    command_line line;
    return tarvek::tool_main("tarvek-link-launcher", line.app, argc, argv, [&] { return line.run(); });
}
