// tarvek-pack: an application folder in, one launcher out; and what a
// launcher carries, listed, extracted or verified.
#include <CLI/CLI.hpp>

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "common/command_line.hpp"
#include "common/error.hpp"
#include "common/interruption.hpp"
#include "common/progress.hpp"
#include "image/launcher_settings.hpp"
#include "pack/inspection.hpp"
#include "pack/pack.hpp"
#include "payload/payload_writer.hpp"

namespace {

constexpr const char *usage_text = R"(usage: tarvek-pack APP_DIR -o OUT.exe [--run PROGRAM.exe] [--console]
                   [--company TEXT] [--product TEXT] [--app-version A[.B[.C[.D]]]]
                   [--description TEXT] [--internal-name NAME] [--icon PNG]...
                   [--level N] [--threads N] [--window-log N] [--no-checksum]
                   [--quiet]
       tarvek-pack --list OUT.exe
       tarvek-pack --extract OUT.exe DIR
       tarvek-pack --verify OUT.exe
       tarvek-pack --layout OUT.exe
       tarvek-pack --version)";

constexpr const char *description_text =
    R"(Packs the application in APP_DIR into one Windows x86-64 launcher, OUT.exe. APP_DIR/main.dll is the main library: a 64-bit DLL that exports run_code; it goes first, every other file below APP_DIR follows in sorted order. The launcher carries them as a Zstandard frame with a content checksum; on each start it unpacks them into a fresh folder under %TEMP%, runs main.dll's run_code in a child process and removes the folder.

With --run, APP_DIR holds an ordinary program instead, and no main.dll: the packer supplies main.dll, a library that starts APP_DIR's PROGRAM.exe from the unpacked folder with the launcher's arguments, standard handles, environment and current directory, waits for it and returns its exit code.

The whole input is checked before anything is written; a problem is one line on standard error naming the file and the rule, and no output is left behind. The launcher is written beside OUT.exe and renamed into place when complete.)";

constexpr const char *footer_text =
    R"(With SOURCE_DATE_EPOCH set, its value is the launcher's time stamp: the same input and options give the same bytes.

Exit status: 0 on success; 1 when the input is refused, a launcher is damaged or something cannot be written; 2 for a command line that is not understood; 128 + the signal (130 for Ctrl-C) when interrupted by a signal.)";

struct command_line {
    CLI::App app{description_text, "tarvek-pack"};
    tarvek::pack_request request;
    std::string application;
    std::string output;
    std::string version;
    std::string run_program;
    std::string list;
    std::vector<std::string> extract;
    std::string verify;
    std::string layout;
    std::vector<std::string> icons;
    bool no_checksum = false;

    command_line()
    {
        tarvek::set_usage(app, usage_text);
        app.footer(footer_text);
        app.add_option("APP_DIR", application, "the application folder: main.dll (or, with --run, the program) "
                                               "and every file that travels with it")
            ->type_name("");
        const char *pack = "Packing";
        app.add_option("-o,--output", output, "the launcher to write")->type_name("OUT.exe")->group(pack);
        app.add_option("--run", run_program,
                       "APP_DIR holds an ordinary program and no main.dll: the launcher runs PROGRAM.exe (its path "
                       "relative to APP_DIR), a 64-bit Windows program, through a main library of the packer's")
            ->type_name("PROGRAM.exe")->group(pack);
        app.add_flag("--console", request.console,
                     "a console program (subsystem 3) instead of a windowed one: a command prompt waits for it, "
                     "and it prints to the console it was started from")
            ->group(pack);
        app.add_option("--company", request.company,
                       "CompanyName of the version resource and the launcher's {COMPANY} (default: the product)")
            ->type_name("TEXT")->group(pack);
        app.add_option("--product", request.product,
                       "ProductName and {PRODUCT} (default: OUT's file name without .exe)")
            ->type_name("TEXT")->group(pack);
        app.add_option("--app-version", version,
                       "the application's version: FileVersion and ProductVersion, one to four numbers of at most "
                       "65535, the missing ones 0 (1.6 is 1.6.0.0; default 0.0.0.0)")
            ->type_name("A[.B[.C[.D]]]")->group(pack);
        app.add_option("--description", request.description,
                       "FileDescription, the name Windows shows for the program, in the task manager for one "
                       "(default: NAME.exe)")
            ->type_name("TEXT")->group(pack);
        app.add_option("--internal-name", request.internal_name,
                       "InternalName; OriginalFilename is NAME.exe (default: OUT's file name without .exe)")
            ->type_name("NAME")->group(pack);
        app.add_option("--icon", icons,
                       "a square PNG image for the icon; give one per size (16, 24, 32, 48, 64, 128, 256) or one "
                       "large one, and the missing sizes are scaled from the next larger (default: the Tarvek "
                       "icons)")
            ->type_name("PNG")->allow_extra_args(false)->group(pack);
        app.add_option("--level", request.level,
                       "Zstandard level, 1..19 (default " + std::to_string(tarvek::default_level) +
                           ": the smallest launcher that still unpacks at full speed; see the README's table)")
            ->type_name("N")
            ->check(tarvek::number_in(tarvek::lowest_level_allowed, tarvek::highest_level_allowed, "",
                                      tarvek::highest_level_reason))
            ->group(pack);
        app.add_option("--threads", request.threads, "compression threads (default: one per processor); the "
                                                     "launcher is the same for every number")
            ->type_name("N")
            ->check(tarvek::number_in(1u, tarvek::most_threads_allowed, "", tarvek::most_threads_reason))
            ->group(pack);
        app.add_option("--window-log", request.window_log,
                       "a window of 2^N bytes, " + std::to_string(tarvek::smallest_window_log_allowed) + ".." +
                           std::to_string(tarvek::largest_window_log_allowed) +
                           " (default: the smallest that holds the whole payload, which the launcher allocates "
                           "once at start)")
            ->type_name("N")
            ->check(tarvek::number_in(tarvek::smallest_window_log_allowed, tarvek::largest_window_log_allowed,
                                      tarvek::smallest_window_log_reason, tarvek::largest_window_log_reason))
            ->group(pack);
        app.add_flag("--no-checksum", no_checksum,
                     "leave the content checksum out of the frame (a damaged download may then run)")
            ->group(pack);
        app.add_flag("-q,--quiet", request.quiet, "print only errors")->group(pack);
        const char *inspect = "Inspecting a launcher";
        auto *list_option = app.add_option("--list", list,
                                           "print each entry's size and name, then a summary, the subsystem "
                                           "(windowed or console) and what the launcher runs (its main library, "
                                           "or the program named with --run)")
                                ->type_name("OUT.exe")->group(inspect);
        auto *extract_option = app.add_option("--extract", extract, "unpack the entries into DIR (new or empty)")
                                   ->type_name("OUT.exe DIR")->expected(2)->group(inspect);
        auto *verify_option = app.add_option("--verify", verify,
                                             "decode the whole payload; check the checksum, the records and the "
                                             "main library; exit 0 only when all is well")
                                  ->type_name("OUT.exe")->group(inspect);
        auto *layout_option =
            app.add_option("--layout", layout,
                           "print where the payload lies and what it is, as \"key value\" lines: rdata_offset, "
                           "payload_offset, payload_size, frame_offset, frame_size, padding, length_field, "
                           "window_log, window_size, checksum (1 or 0), entries, content_size, stream_size, subsystem (2 "
                           "windowed, 3 console)")
                ->type_name("OUT.exe")->group(inspect);
        list_option->excludes(extract_option)->excludes(verify_option)->excludes(layout_option);
        extract_option->excludes(verify_option)->excludes(layout_option);
        verify_option->excludes(layout_option);
    }
};

using tarvek::usage_error;

void print_warnings(const std::vector<std::string> &warnings, bool quiet)
{
    if (quiet)
        return;
    for (const std::string &warning : warnings)
        std::fprintf(stderr, "tarvek-pack: warning: %s\n", warning.c_str());
}

int inspect(command_line &line)
{
    const bool pack_options = !line.application.empty() || !line.output.empty() || line.app.count("--company") ||
                              line.app.count("--product") || line.app.count("--app-version") ||
                              line.app.count("--description") || line.app.count("--run") ||
                              line.app.count("--console") || line.app.count("--internal-name") || !line.icons.empty() ||
                              line.app.count("--level") || line.app.count("--threads") ||
                              line.app.count("--window-log") || line.no_checksum;
    if (pack_options)
        throw usage_error{"--list, --extract, --verify and --layout take no packing options or APP_DIR"};
    tarvek::inspection_options options;
    options.quiet = line.request.quiet;
    options.progress = tarvek::progress_wanted();
    if (!line.list.empty())
        tarvek::list_launcher(line.list, options);
    else if (!line.extract.empty())
        tarvek::extract_launcher(line.extract.at(0), line.extract.at(1), options);
    else if (!line.layout.empty())
        tarvek::print_layout(line.layout);
    else
        tarvek::verify_launcher(line.verify, options);
    return 0;
}

int pack(command_line &line)
{
    if (line.application.empty())
        throw usage_error{"no APP_DIR: give the application folder"};
    if (line.output.empty())
        throw usage_error{"no output: give -o OUT.exe"};
    tarvek::pack_request &request = line.request;
    request.application = line.application;
    request.output = line.output;
    if (line.app.count("--app-version"))
        request.version = tarvek::parse_version(line.version);
    if (line.app.count("--run"))
        request.run_program = line.run_program;
    request.icons.assign(line.icons.begin(), line.icons.end());
    request.checksum = !line.no_checksum;
    request.progress = tarvek::progress_wanted();
    tarvek::catch_interruptions();

    std::vector<std::string> warnings;
    tarvek::pack_result result;
    try {
        result = tarvek::pack_application(request, warnings);
    } catch (...) {
        print_warnings(warnings, request.quiet);
        throw;
    }
    print_warnings(warnings, request.quiet);
    if (!request.quiet)
        std::printf("packed %" PRIu64 " files, %s, into %s: %s (%.1f%%) in %s\n", result.files,
                    tarvek::byte_count(result.input_bytes).c_str(), request.output.string().c_str(),
                    tarvek::byte_count(result.output_bytes).c_str(),
                    result.input_bytes ? 100.0 * result.output_bytes / result.input_bytes : 0.0,
                    tarvek::duration_text(result.seconds).c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    command_line line;
    return tarvek::tool_main("tarvek-pack", line.app, argc, argv, [&] {
        if (!line.list.empty() || !line.extract.empty() || !line.verify.empty() || !line.layout.empty())
            return inspect(line);
        return pack(line);
    });
}
