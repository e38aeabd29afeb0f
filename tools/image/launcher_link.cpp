#include "image/launcher_link.hpp"

#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <ctime>

#include "common/error.hpp"
#include "common/utf.hpp"
#include "common/work_folder.hpp"
#include "image/data_object.hpp"
#include "image/image_layout.hpp"
#include "image/launcher_resources.hpp"
#include "image/tool_run.hpp"

namespace tarvek {

namespace fs = std::filesystem;

fs::path parts::default_icon(const fs::path &parts, unsigned size)
{
    return parts / icons / ("icon-" + std::to_string(size) + ".png");
}

std::vector<fs::path> parts::files_with_extension(const fs::path &folder, const char *extension)
{
    std::vector<fs::path> files;
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator(folder, error))
        if (entry.is_regular_file() && entry.path().extension() == extension)
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

uint32_t parse_timestamp(std::string_view text, const char *what)
{
    uint32_t seconds = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw tool_error(std::string(what) + " '" + printable(text) +
                         "' is not a number of seconds from 0 to 4294967295");
    return seconds;
}

uint32_t build_timestamp()
{
    const char *epoch = getenv("SOURCE_DATE_EPOCH");
    if (epoch == nullptr)
        return static_cast<uint32_t>(std::time(nullptr));
    return parse_timestamp(epoch, "SOURCE_DATE_EPOCH");
}

fs::path default_parts()
{
    if (const char *given = std::getenv("TARVEK_LAUNCHER_PARTS"))
        return given;
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error).parent_path();
    const fs::path installed = program / "../lib/tarvek-onefile/launcher-parts";
    for (const fs::path &place : {installed, program / "../../win/launcher-parts"})
        if (fs::is_regular_file(place / parts::link_settings, error))
            return fs::weakly_canonical(place, error);
    throw tool_error("the launcher parts are not in " + printable(installed.string()) +
                     " nor in the build folder; install with ./tarvek install or set TARVEK_LAUNCHER_PARTS");
}

namespace {

} // namespace

const char *const link_failure_hint =
    " (see its messages; a system or runtime function it reports undefined must be added to allowed_imports.txt)";

namespace {

void require_parts(const fs::path &parts, bool console)
{
    std::vector<const char *> needed = {parts::link_settings, parts::resource_script, parts::manifest};
    if (console)
        needed.push_back(parts::console_link_settings);
    for (const char *name : needed)
        if (!fs::is_regular_file(parts / name))
            throw tool_error("launcher parts '" + parts.string() + "' incomplete: no " + name +
                              " (./tarvek install installs them whole; ./tarvek build makes them)");
    if (parts::files_with_extension(parts / parts::objects, ".obj").empty() ||
        parts::files_with_extension(parts / parts::libraries, ".lib").empty())
        throw tool_error("launcher parts '" + parts.string() + "' incomplete: no objects or libraries");
}

} // namespace

void link_launcher(const launcher_link_request &request)
{
    launcher_settings settings = request.settings;
    if (settings.internal_name.empty())
        settings.internal_name = default_internal_name(request.output);
    check_settings(settings);
    fs::path parts = fs::absolute(request.parts);
    require_parts(parts, request.console);
    if (!fs::is_regular_file(request.stored_payload))
        throw tool_error("no stored payload '" + printable(request.stored_payload.string()) + "'");
    uint32_t timestamp = request.timestamp ? *request.timestamp : build_timestamp();

    work_folder work(request.output, "tarvek-link");
    std::string version = version_text(settings.version);
    write_data_object(work.path() / "launcher_data.obj", fs::absolute(request.stored_payload),
                      {{"tarvek_company_name", utf8_to_utf16(settings.company)},
                       {"tarvek_product_name", utf8_to_utf16(settings.product)},
                       {"tarvek_file_version", utf8_to_utf16(version)},
                       {"tarvek_product_version", utf8_to_utf16(version)}});
    fs::path resources = write_launcher_resources(parts, settings, work.path());

    // The data object first: its section starts .rdata.
    std::vector<std::string> arguments = {"lld-link", std::string("@") + (parts / parts::link_settings).string()};
    // Later options win: the console's subsystem and entry over the
    // windowed ones.
    if (request.console)
        arguments.push_back(std::string("@") + (parts / parts::console_link_settings).string());
    arguments.insert(arguments.end(),
                     {"/timestamp:" + std::to_string(timestamp), "/out:linked.exe", "launcher_data.obj"});
    for (const fs::path &object : parts::files_with_extension(parts / parts::objects, ".obj"))
        arguments.push_back(object.string());
    // Before the libraries, so that an object of these stands in for a
    // library member of the same name.
    arguments.insert(arguments.end(), request.extra_linker_arguments.begin(), request.extra_linker_arguments.end());
    arguments.push_back(resources.string());
    for (const fs::path &library : parts::files_with_extension(parts / parts::libraries, ".lib"))
        arguments.push_back(library.string());
    run_tool(arguments, work.path(), link_failure_hint);

    fs::path image = work.path() / "linked.exe";
    if (request.page_align_rdata) {
        image = work.path() / "aligned.exe";
        write_page_aligned_image(work.path() / "linked.exe", image);
    }
    std::error_code error;
    // Executable as the linker made it.
    fs::permissions(image, fs::status(work.path() / "linked.exe").permissions(), error);
    fs::rename(image, request.output, error);
    if (error)
        throw tool_error(printable(request.output.string()) + ": cannot write it: " + error.message());
}

} // namespace tarvek
