#include "image/adapter_link.hpp"

#include <fstream>

#include "common/error.hpp"
#include "common/utf.hpp"
#include "image/data_object.hpp"
#include "image/launcher_link.hpp"
#include "image/tool_run.hpp"

namespace tarvek {

namespace fs = std::filesystem;

namespace {

void require_adapter_parts(const fs::path &adapter)
{
    const std::string shown = "launcher parts '" + printable(adapter.parent_path().string()) + "' incomplete: ";
    if (!fs::is_regular_file(adapter / parts::link_settings))
        throw tool_error(shown + "no " + parts::adapter + "/" + parts::link_settings +
                         ", the adapter library that --run links (./tarvek install installs the parts whole)");
    if (parts::files_with_extension(adapter / parts::objects, ".obj").empty() ||
        parts::files_with_extension(adapter / parts::libraries, ".lib").empty())
        throw tool_error(shown + "no objects or libraries of the adapter library");
}

} // namespace

void link_run_adapter(const adapter_link_request &request)
{
    const fs::path parts = fs::absolute(request.parts);
    const fs::path adapter = parts / parts::adapter;
    require_adapter_parts(adapter);

    // The data object of a launcher, with no payload and the one text.
    const fs::path nothing = request.work / "no_payload.bin";
    std::ofstream(nothing, std::ios::binary | std::ios::trunc).close();
    write_data_object(request.work / "program.obj", nothing, {{run_program_symbol, request.program}});

    // Filled in place: GCC 12 warns falsely (-Wrestrict) of texts put
    // before a temporary.
    std::vector<std::string> arguments = {"lld-link", "@", "/timestamp:", "/out:", "program.obj"};
    arguments[1] += (adapter / parts::link_settings).string();
    arguments[2] += std::to_string(request.timestamp);
    arguments[3] += fs::absolute(request.output).string();
    for (const fs::path &object : parts::files_with_extension(adapter / parts::objects, ".obj"))
        arguments.push_back(object.string());
    for (const fs::path &folder : {adapter / parts::libraries, parts / parts::libraries})
        for (const fs::path &library : parts::files_with_extension(folder, ".lib"))
            arguments.push_back(library.string());
    run_tool(arguments, request.work, link_failure_hint);
}

} // namespace tarvek
