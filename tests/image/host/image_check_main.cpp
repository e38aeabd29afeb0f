// tarvek-image-check: reads a linked launcher and checks it field by field
// against what every launcher image must be, and against the payload and
// settings it was linked with; or, with --run-program, an adapter library
// against what every one must be and the program it runs.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "common/command_line.hpp"
#include "common/error.hpp"
#include "image/launcher_link.hpp"
#include "image/setting_options.hpp"
#include "image_file.hpp"

namespace {

constexpr const char *usage_text = "usage: tarvek-image-check IMAGE --allowed-imports TABLE [OPTIONS]";

constexpr const char *description_text =
    R"(Checks a Tarvek Onefile launcher image: every header field, the data directories present and absent, the sections (names, order, access, file offsets; nothing after the last one; .rdata at a multiple of 4096), the payload at the start of .rdata, thread-local storage, the unwind table, the base relocations, the imports against TABLE (image/allowed_imports.txt), and the resources field by field (icon group and PNG images, version resource, manifest, all language neutral), and the compiled-in texts. Prints "FAIL: ..." for each item that is wrong and a summary; exits with 1 when any is wrong.)";

std::string read_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw tarvek::tool_error("cannot read '" + path + "'");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct command_line {
    CLI::App app{description_text, "tarvek-image-check"};
    std::string image_path, table, payload, timestamp, run_program;
    tarvek::check::expectations expected;

    command_line()
    {
        tarvek::set_usage(app, usage_text);
        app.add_option("IMAGE", image_path, "the launcher image")->type_name("")->required();
        const char *check = "Check";
        app.add_option("--allowed-imports", table, "the allowed import table (required)")
            ->type_name("TABLE")->required()->group(check);
        app.add_option("--payload", payload, "the stored payload the image was linked around")
            ->type_name("STORED")->group(check);
        app.add_option("--timestamp", timestamp, "the header's time stamp must be N (default: any but 0)")
            ->type_name("N")->group(check);
        app.add_option("--run-program", run_program,
                       "IMAGE is an adapter library (main.dll of a launcher that runs a program): check the "
                       "headers, sections, unwind table, relocations and imports that every one must have, and "
                       "that it exports run_code and tarvek_run_program, naming PATH; print its size")
            ->type_name("PATH")->group(check);
        app.add_flag("--console", expected.console,
                     "IMAGE is a console launcher: subsystem 3 (Windows console) instead of 2 (Windows GUI)")
            ->group(check);
        tarvek::add_setting_options(app, expected.settings,
                                    "Settings it was linked with (defaults as tarvek-link-launcher's)");
    }

    int run()
    {
        using namespace tarvek::check;
        if (!expected.settings.icons.empty() && expected.settings.icons.size() != tarvek::icon_sizes.size())
            throw tarvek::usage_error{"give --icon seven times or not at all"};
        try {
            if (!payload.empty())
                expected.payload = read_bytes(payload);
            if (!timestamp.empty())
                expected.timestamp = tarvek::parse_timestamp(timestamp);
            if (!run_program.empty())
                expected.run_program = run_program;
            if (expected.settings.internal_name.empty())
                expected.settings.internal_name = tarvek::default_internal_name(image_path);
            expected.allowed_imports = read_allowed_imports(table);
            image_file image = read_image(image_path);

            report r;
            check_headers(image, expected, r);
            check_sections(image, expected, r);
            if (expected.run_program) {
                check_unwind_table(image, r);
                check_relocations(image, r);
                check_imports(image, expected, r);
                check_exports(image, expected, r);
                std::printf("adapter library %s: %zu bytes\n", image_path.c_str(), image.bytes.size());
            } else if (r.failed() == 0 || image.section(".rdata") != nullptr) {
                check_thread_local_storage(image, r);
                check_load_configuration(image, r);
                check_unwind_table(image, r);
                check_relocations(image, r);
                check_imports(image, expected, r);
                check_resources(image, expected, r);
                check_compiled_texts(image, expected, r);
            }
            std::printf("image check of %s: %d items, %d failed\n", image_path.c_str(), r.checked(), r.failed());
            return r.failed() == 0 ? 0 : 1;
        } catch (const tarvek::tool_error &e) {
            std::printf("FAIL: %s\n", e.what());
            return 1;
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    command_line line;
    return tarvek::tool_main("tarvek-image-check", line.app, argc, argv, [&] { return line.run(); });
}
