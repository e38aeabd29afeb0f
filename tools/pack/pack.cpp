#include "pack/pack.hpp"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "common/error.hpp"
#include "common/interruption.hpp"
#include "common/mapped_file.hpp"
#include "common/progress.hpp"
#include "common/utf.hpp"
#include "common/work_folder.hpp"
#include "image/adapter_link.hpp"
#include "image/launcher_link.hpp"
#include "pack/icons.hpp"
#include "pack/launcher_payload.hpp"
#include "pack/main_library.hpp"
#include "pack/run_program.hpp"
#include "payload/folder_records.hpp"
#include "payload/payload_writer.hpp"

namespace tarvek {

namespace fs = std::filesystem;

namespace {

std::string shown(const fs::path &path) { return printable(path.string()); }

void check_output(const pack_request &request)
{
    const fs::path &output = request.output;
    if (output.filename().empty())
        throw tool_error(shown(output) + ": names a folder, not a file");
    std::error_code error;
    if (fs::is_directory(output, error))
        throw tool_error(shown(output) + ": is a folder");
    fs::path parent = output.parent_path().empty() ? fs::path(".") : output.parent_path();
    if (!fs::is_directory(parent, error))
        throw tool_error(shown(output) + ": its folder " + shown(parent) + " does not exist");
    // A launcher inside the application folder would be packed into the
    // next one.
    fs::path application = fs::canonical(request.application, error);
    fs::path place = fs::weakly_canonical(output, error);
    auto [end, at] = std::mismatch(application.begin(), application.end(), place.begin(), place.end());
    if (!error && end == application.end())
        throw tool_error(shown(output) + ": inside the application folder " + shown(request.application) +
                         "; put the launcher elsewhere");
    if (!is_utf8(output.filename().string()))
        throw tool_error(shown(output) + ": its name is not valid UTF-8");
}

launcher_settings settings_for(const pack_request &request)
{
    launcher_settings settings;
    const std::string stem = default_internal_name(request.output);
    settings.product = request.product.value_or(stem);
    settings.company = request.company.value_or(settings.product);
    settings.internal_name = request.internal_name.value_or(stem);
    settings.description = request.description;
    settings.version = request.version;
    return settings;
}

unsigned worker_count(unsigned asked)
{
    if (asked != 0)
        return asked;
    return std::max(1u, std::thread::hardware_concurrency());
}

// The linked launcher must carry the stored payload byte for byte, where
// the launcher will look for it.
void check_linked(const fs::path &launcher, const fs::path &stored_file, const std::string &shown_output)
{
    mapped_file image(launcher);
    mapped_file stored(stored_file);
    const std::span<const uint8_t> carried = locate_payload(image.bytes(), shown_output).stored.bytes;
    if (carried.size() != stored.bytes().size() ||
        std::memcmp(carried.data(), stored.bytes().data(), stored.bytes().size()) != 0)
        throw tool_error(shown_output + ": the linked launcher does not carry the payload as written");
}

// The entry name of the program that --run names, checked.
std::u16string checked_run_program(const pack_request &request, const std::vector<payload_record> &records)
{
    const std::u16string name = run_program_name(*request.run_program, request.application);
    std::string shown_name = utf16_to_utf8(name);
    std::replace(shown_name.begin(), shown_name.end(), '\\', '/');
    auto found = std::find_if(records.begin(), records.end(), [&](const payload_record &r) { return r.name == name; });
    if (found == records.end())
        throw tool_error("--run '" + printable(*request.run_program) + "': no such file in the application folder " +
                         shown(request.application));
    check_run_program_file(found->file, shown(request.application / shown_name));
    return name;
}

// main.dll of a launcher that runs `program`: the adapter library, linked
// in the work folder with the launcher's time stamp.
payload_record run_adapter_record(const std::u16string &program, uint32_t timestamp, const fs::path &work)
{
    adapter_link_request link;
    link.parts = default_parts();
    link.program = program;
    link.timestamp = timestamp;
    link.work = work;
    link.output = work / utf16_to_utf8(main_library_name);
    link_run_adapter(link);
    return {main_library_name, link.output, fs::file_size(link.output)};
}

} // namespace

pack_result pack_application(const pack_request &request, std::vector<std::string> &warnings)
{
    const auto start = std::chrono::steady_clock::now();
    const std::string shown_output = shown(request.output);

    // Everything about the input is checked before anything is written.
    std::vector<payload_record> records = folder_records(
        request.application, &warnings, request.run_program ? main_library::supplied : main_library::in_folder);
    std::u16string program;
    if (request.run_program)
        program = checked_run_program(request, records);
    else
        check_main_library_file(request.application / utf16_to_utf8(main_library_name));
    check_output(request);
    launcher_settings settings = settings_for(request);
    check_settings(settings);
    check_icons(request.icons);
    stop_if_interrupted();

    // One time stamp for main.dll and the launcher.
    const uint32_t timestamp = build_timestamp();
    work_folder work(request.output, "tarvek-pack");
    if (request.run_program)
        records.insert(records.begin(), run_adapter_record(program, timestamp, work.path()));
    if (!request.icons.empty())
        settings.icons = prepare_icons(request.icons, work.path(), warnings);

    payload_options options;
    options.level = request.level != 0 ? request.level : default_level;
    options.threads = worker_count(request.threads);
    options.long_distance = true;
    options.window_log = request.window_log;
    options.checksum = request.checksum;
    const uint64_t stream_bytes = stream_size(records);
    progress_line line(request.progress && !request.quiet, "packing");
    options.progress = [&](uint64_t done, uint64_t done_records) {
        stop_if_interrupted();
        line.update(done_records, records.size(), done, stream_bytes);
    };
    const fs::path stored = work.path() / "payload.stored";
    write_payload(records, options, stored);
    line.clear();

    const fs::path linked = work.path() / request.output.filename();
    launcher_link_request link;
    link.parts = default_parts();
    link.stored_payload = stored;
    link.output = linked;
    link.settings = settings;
    link.console = request.console;
    link.timestamp = timestamp;
    link_launcher(link);
    stop_if_interrupted();
    check_linked(linked, stored, shown_output);

    pack_result result;
    result.files = records.size();
    for (const payload_record &record : records)
        result.input_bytes += record.size;
    result.output_bytes = fs::file_size(linked);
    work.commit(linked, request.output);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

} // namespace tarvek
